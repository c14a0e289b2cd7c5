# The fuzz targets and how each is run; sourced by scripts/fuzz.sh and
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
