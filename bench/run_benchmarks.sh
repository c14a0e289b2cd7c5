#!/usr/bin/env bash
# Runs codec_bench over the benchmark corpus and prints the tables of docs/benchmarks.md.
#
#   bench/run_benchmarks.sh [BUILD_DIR] [CORPUS_DIR]
#
# BUILD_DIR defaults to build/native (configured with `cmake --preset native`); the corpus
# defaults to $LMV_BENCH_CORPUS, else ../shared/bench-corpus beside the source tree. Extra
# Google Benchmark flags can be passed in $BENCH_FLAGS (e.g. --benchmark_repetitions=3).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build=${1:-$source_dir/build/native}
corpus=${2:-${LMV_BENCH_CORPUS:-$source_dir/../shared/bench-corpus}}

cmake --build "$build" --target codec_bench >&2
json=$(mktemp --suffix=.json)
trap 'rm -f "$json"' EXIT
# shellcheck disable=SC2086
"$build/codec_bench" --benchmark_out="$json" --benchmark_out_format=json ${BENCH_FLAGS:-} "$corpus" >&2
python3 "$here/benchmark_table.py" "$json"
