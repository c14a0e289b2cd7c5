#!/usr/bin/env bash
# Runs every test: the formatting check, unit tests natively and under the sanitizers, the
# end-to-end scenarios of the real installer under Wine, the release (made, and checked on a
# clean Debian 12 root), and a short fuzzing pass. Installs what it needs first, and fails
# when any of it is missing: a test that cannot run is never counted as passed. A failed test
# is never retried; only the harness starts Wine once more when Wine itself did not start, and
# says so.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
missing=()
for tool in wine Xvfb i686-w64-mingw32-g++ i686-w64-mingw32-windres clang-format mmdebstrap \
  dpkg-shlibdeps groff; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "test: missing after setup: ${missing[*]}; the tests that need them cannot run" >&2
  exit 1
fi
bash scripts/build.sh
# The sanitizer and fuzzing builds are needed only after the end-to-end tests: built meanwhile
# at the lowest priority, they take the processor time the Wine runs leave idle and hardly slow
# them down.
mkdir -p build
background_log=build/background-builds.log
# A process group of its own, so that an early end of this script stops the whole build.
setsid nice -n 19 bash -c 'set -e; cmake --preset sanitize >/dev/null; cmake --build --preset sanitize
  bash scripts/fuzz.sh --build-only' >"$background_log" 2>&1 &
background=$!
trap 'kill -- -"$background" 2>/dev/null || true' EXIT

status=0
results=()
# The release, from a copy of this tree, into dist/; its build folders stay in build/release,
# so that later runs build only what changed. release_clean_machine (with the end-to-end
# tests) installs and uses it on a clean Debian 12 root.
echo "== the release (scripts/release.sh --work build/release)"
if bash scripts/release.sh --work build/release; then
  results+=("release: made")
else
  results+=("release: FAILED")
  status=1
fi
# ctest with its JUnit report, so that skipped tests can be counted and explained.
run_ctest() {
  local what=$1 report=$2
  shift 2
  rm -f "$report"
  echo "== $what"
  if ctest "$@" --no-tests=error --output-junit "$PWD/$report"; then
    results+=("$what: passed")
  else
    results+=("$what: FAILED")
    status=1
  fi
}

echo "== formatting (clang-format --dry-run -Werror)"
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
  results+=("formatting: clean")
else
  results+=("formatting: FAILED")
  status=1
fi
run_ctest "unit tests (native build)" build/native/unit-tests.xml --preset native -j2 -L unit
run_ctest "end-to-end tests: the real installer under Wine, the release on a clean machine" \
  build/native/e2e-tests.xml --preset native -j2 -L 'e2e|release'
echo "== waiting for the sanitizer and fuzzing builds (log: $background_log)"
if wait "$background"; then
  results+=("sanitizer and fuzzing builds: built")
else
  cat "$background_log"
  results+=("sanitizer and fuzzing builds: FAILED")
  status=1
fi
run_ctest "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer" \
  build/sanitize/unit-tests.xml --preset sanitize -j2 -L unit
if [ -x scripts/fuzz.sh ]; then
  echo "== short fuzzing pass"
  if bash scripts/fuzz.sh --total-seconds "${LMV_FUZZ_SECONDS:-60}"; then
    results+=("fuzzing: passed")
  else
    results+=("fuzzing: FAILED")
    status=1
  fi
fi

echo "== summary"
printf '%s\n' "${results[@]}"
python3 scripts/skipped_tests.py build/native/unit-tests.xml build/native/e2e-tests.xml \
  build/sanitize/unit-tests.xml
exit $status
