#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang, build/fuzz) and runs each of them for a
# fixed time over its seed corpus in tests/fuzz/corpus/ (installers, coded streams or plain
# bytes, by the target's input). New inputs go to a working
# corpus under build/fuzz/corpus/, never into the repository; crash reproducers go to
# build/fuzz/findings/<target>/ and make the script fail. This is the short pass of the test
# command; scripts/fuzz-campaign.sh runs the long ones.
#
#   scripts/fuzz.sh                       every target for 60 seconds
#   scripts/fuzz.sh --seconds 600         every target for 600 seconds
#   scripts/fuzz.sh --total-seconds 60    60 seconds shared out over the targets (CI)
#   scripts/fuzz.sh --jobs 2 lzh_decoder_fuzzer   one target, two workers
#   scripts/fuzz.sh --build-only          build the targets, run nothing
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
total_seconds=""
jobs=1
build_only=false
source scripts/fuzz_targets.sh
read_options "seconds total-seconds jobs" "build-only" 2,13 "$@"
build_targets
if $build_only; then exit 0; fi

if [ -n "$total_seconds" ]; then
  seconds=$(( total_seconds / ${#targets[@]} ))
  [ "$seconds" -ge 1 ] || seconds=1
fi

status=0
summary=""
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  seeds=()
  [ -d "$(seed_folder "$t")" ] && seeds+=("$(seed_folder "$t")")
  echo "== $t: ${seconds}s"
  set +e
  # -close_fd_mask=3 silences what the code under test prints; libFuzzer and the
  # sanitizers keep a descriptor of their own for their reports.
  "$build/fuzzers/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" \
    -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$findings/" -jobs="$jobs" -workers="$jobs" \
    "$work" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  [ "$jobs" -gt 1 ] && cat fuzz-*.log >>"$log" 2>/dev/null && rm -f fuzz-*.log
  runs=$(grep -hoE 'stat::number_of_executed_units: *[0-9]+' "$log" | awk '{s+=$2} END {print s+0}')
  if [ "$rc" -ne 0 ] || grep -qE 'ERROR: (libFuzzer|AddressSanitizer|UndefinedBehaviorSanitizer)|runtime error' "$log"; then
    echo "   FAILED (exit $rc): see $log and $findings/"
    grep -E 'ERROR|runtime error|SUMMARY' "$log" | head -n 5 | sed 's/^/   /'
    status=1
  fi
  summary+="$(printf '%-28s %6ss %12s executions %8s/s' "$t" "$seconds" "$runs" \
    "$((runs / seconds))")"$'\n'
done
printf '\n%s' "$summary"
exit $status
