# The fuzz targets and how each is run, and what the two fuzzing scripts share (their
# command lines, the build of the targets); sourced by scripts/fuzz.sh and
# scripts/fuzz-campaign.sh.

all_targets=(package_passes_fuzzer member_extraction_fuzzer lzh_decoder_fuzzer
  codec_roundtrip_fuzzer lmvpack_fuzzer)

# Inputs stay small so that every execution is fast; the targets bound the work an input may
# ask for (tests/fuzz/input_bounds.h), the lengths here bound the input itself.
max_len() {
  case "$1" in
    lzh_decoder_fuzzer) echo 8192 ;;
    codec_roundtrip_fuzzer) echo 4097 ;;
    *) echo 32768 ;;
  esac
}

# Seeds in the repository, by the target's input: installers, coded streams or plain bytes.
seed_folder() {
  case "$1" in
    lzh_decoder_fuzzer) echo tests/fuzz/corpus/streams ;;
    codec_roundtrip_fuzzer) echo tests/fuzz/corpus/plain ;;
    *) echo tests/fuzz/corpus/installers ;;
  esac
}

# The targets this tree defines, into the array `targets` (one is added only once the tool's
# library offers what it needs). Needs a configured build folder.
defined_targets() {
  local build="$1" defined t
  # Listed once into a variable: grep -q on a pipe would end ninja with SIGPIPE, which
  # pipefail turns into a miss.
  defined=$(ninja -C "$build" -t targets all 2>/dev/null || true)
  for t in "${all_targets[@]}"; do
    if grep -qx "$t: phony" <<<"$defined"; then targets+=("$t"); fi
  done
}

# Reads a fuzzing script's command line: "--NAME VALUE" for each NAME in $1 sets the variable
# NAME (dashes as underscores), "--NAME" for each NAME in $2 sets it to true, "-h"/"--help"
# prints the script's lines $3 (its usage), and every other word is a target, into the array
# `targets`. Any other option ends the script with status 2.
read_options() {
  local valued=" $1 " flags=" $2 " usage="$3" name
  shift 3
  targets=()
  while [ $# -gt 0 ]; do
    name="${1#--}"
    case "$1" in
      -h|--help) sed -n "${usage}p" "$0"; exit 0 ;;
      --*) if [[ "$valued" == *" $name "* && $# -ge 2 ]]; then
             printf -v "${name//-/_}" '%s' "$2"; shift 2
           elif [[ "$flags" == *" $name "* ]]; then
             printf -v "${name//-/_}" '%s' true; shift
           else
             echo "$(basename "$0" .sh): unknown option $1" >&2; exit 2
           fi ;;
      -*) echo "$(basename "$0" .sh): unknown option $1" >&2; exit 2 ;;
      *) targets+=("$1"); shift ;;
    esac
  done
}

# Configures build/fuzz (as `build`) and builds the targets named, or every target the tree
# defines when none is named.
build_targets() {
  build=build/fuzz
  cmake --preset fuzz >/dev/null
  [ ${#targets[@]} -gt 0 ] || defined_targets "$build"
  cmake --build "$build" --target "${targets[@]}"
}
