#!/usr/bin/env bash
# A long fuzzing campaign: every target (or those named) in turn, for a long time each, with
# several workers (libFuzzer's fork mode, which goes on past a finding and keeps every one).
# Everything it keeps lives outside the repository, in the campaign folder:
#
#   corpus/<target>/     the working corpus; each campaign goes on from the last one's and
#                        merges it down to the inputs that add coverage when it ends
#   findings/<target>/   crash, timeout, out-of-memory and leak reproducers, each with the
#                        report of a replay beside it (<reproducer>.txt)
#   logs/<stamp>/        the fuzzers' output
#   summary.md           one table row per target and campaign: time, workers, executions,
#                        executions a second (wall clock, all workers; and per CPU second),
#                        coverage (libFuzzer's cov and ft over the merged corpus), new
#                        findings and how many distinct faults they replay as
#
#   scripts/fuzz-campaign.sh                         30 minutes a target, 2 workers
#   scripts/fuzz-campaign.sh --minutes 10 --workers 2 lzh_decoder_fuzzer
#   scripts/fuzz-campaign.sh --out /var/tmp/lmv-fuzz
#
# The campaign folder is $LMV_FUZZ_CAMPAIGN_DIR, or ~/lmv-fuzz-campaign. The fuzzers run at
# nice 15 (--nice N to change it): the machine stays usable. Exit status 1 when the campaign
# found anything new, 0 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
repository=$(pwd -P)

minutes=30
workers=2
nice=15
out="${LMV_FUZZ_CAMPAIGN_DIR:-$HOME/lmv-fuzz-campaign}"
source scripts/fuzz_targets.sh
read_options "minutes workers nice out" "" 2,22 "$@"

mkdir -p "$out"
out=$(cd "$out" && pwd -P)
case "$out/" in
  "$repository"/*) echo "fuzz-campaign: keep the campaign folder outside the repository ($out)" >&2
    exit 2 ;;
esac

build_targets

stamp=$(date +%Y%m%d-%H%M%S)
logs="$out/logs/$stamp"
mkdir -p "$logs" "$out/tmp"
summary="$out/summary.md"
if [ ! -s "$summary" ]; then
  {
    echo "| Campaign | Target | Minutes | Workers | Executions | Exec/s | Exec/CPU-s | cov | ft | Corpus | New findings |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|"
  } >"$summary"
fi

# What tells one fault from another in a replay's report: the sanitizer's or libFuzzer's
# summary and the first three frames in the project's own sources (function and line).
signature() {
  {
    grep -m 1 -E '^SUMMARY|ERROR: libFuzzer' "$1" | sed -E 's/==[0-9]+==//; s/0x[0-9a-f]+//g'
    grep -E '^ +#[0-9]+ 0x[0-9a-f]+ in .* '"$repository"'/' "$1" |
      sed -E 's/^ +#[0-9]+ 0x[0-9a-f]+ in //; s|'"$repository"'/||; s/:[0-9]+$//' | head -n 3
  } | tr '\n' ' '
}

# The reproducers in a findings folder, one a line.
reproducers() {
  find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
    -o -name 'leak-*' \) ! -name '*.txt' | sort
}

new_total=0
for t in "${targets[@]}"; do
  binary="$build/fuzzers/$t"
  corpus="$out/corpus/$t"
  findings="$out/findings/$t"
  log="$logs/$t.log"
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "$(seed_folder "$t")" ] && seeds+=("$(seed_folder "$t")")
  before=$(reproducers "$findings")
  echo "== $t: $minutes min, $workers workers (log: $log)"

  # Fork mode: the workers fuzz in turns of jobs and merge what they find into the first
  # corpus folder; with the ignore flags a finding is kept and the campaign goes on. Its
  # scratch goes to the campaign folder's tmp/, not to /tmp. -close_fd_mask=3 silences what
  # the code under test prints; libFuzzer keeps a descriptor of its own for its reports.
  start=$(date +%s)
  TIMEFORMAT='%U %S'
  { time TMPDIR="$out/tmp" nice -n "$nice" "$binary" -fork="$workers" \
      -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -max_total_time=$((minutes * 60)) -max_len="$(max_len "$t")" -timeout=10 \
      -rss_limit_mb=2048 -close_fd_mask=3 -artifact_prefix="$findings/" \
      "$corpus" "${seeds[@]}" >"$log" 2>&1 || true; } 2>"$logs/$t.cpu"
  elapsed=$(( $(date +%s) - start ))
  cpu=$(awk '{printf "%.0f", $1 + $2}' "$logs/$t.cpu")

  # Fork mode reports "#<executions>: cov: .. ft: .. corp: .. exec/s <n> ..." as it goes.
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
  executions=$(sed -nE 's/^#([0-9]+):.*/\1/p' <<<"$last")
  executions=${executions:-0}
  per_second=$(( executions / (elapsed > 0 ? elapsed : 1) ))
  per_cpu_second=$(( executions / (cpu > 0 ? cpu : 1) ))

  # The working corpus merged down to the inputs that add coverage, seeds included.
  rm -rf "$corpus.merged"
  mkdir -p "$corpus.merged"
  nice -n "$nice" "$binary" -merge=1 -close_fd_mask=3 -max_len="$(max_len "$t")" \
    -timeout=10 -rss_limit_mb=2048 "$corpus.merged" "$corpus" "${seeds[@]}" \
    >"$logs/$t.merge.log" 2>&1
  rm -rf "$corpus"
  mv "$corpus.merged" "$corpus"

  # Coverage of the merged corpus, as libFuzzer counts it when it loads it.
  inited=$(nice -n "$nice" "$binary" -runs=0 -close_fd_mask=3 \
    -max_len="$(max_len "$t")" "$corpus" 2>&1 | grep -E 'INITED' | tail -n 1 || true)
  cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$inited")
  ft=$(sed -nE 's/.*ft: ([0-9]+).*/\1/p' <<<"$inited")
  files=$(find "$corpus" -type f | wc -l)

  # Every new reproducer is replayed once, its report kept beside it.
  new=0
  distinct=""
  while IFS= read -r reproducer; do
    [ -n "$reproducer" ] || continue
    grep -qxF "$reproducer" <<<"$before" && continue
    new=$((new + 1))
    timeout 120 "$binary" -runs=1 -timeout=10 -rss_limit_mb=2048 "$reproducer" \
      >"$reproducer.txt" 2>&1 || true
    kind=$(signature "$reproducer.txt")
    grep -qxF "$kind" <<<"$distinct" && continue
    distinct+="$kind"$'\n'
    echo "   finding: $reproducer"
    echo "     $kind"
  done <<<"$(reproducers "$findings")"
  new_total=$((new_total + new))
  kinds=$(grep -c . <<<"$distinct" || true)

  row="| $stamp | \`$t\` | $((elapsed / 60)) | $workers | $executions | $per_second"
  row+=" | $per_cpu_second | ${cov:-?} | ${ft:-?} | $files | $new ($kinds distinct) |"
  echo "$row" >>"$summary"
  echo "   $executions executions ($per_second/s, $per_cpu_second per CPU second), cov ${cov:-?}" \
    "ft ${ft:-?}, $files corpus files, $new new findings ($kinds distinct)"
done

rm -rf "$out/tmp"
echo
echo "summary: $summary"
[ "$new_total" -eq 0 ]
