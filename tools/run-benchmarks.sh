#!/usr/bin/env bash
# Builds the benchmark programs and runs every pair of project path and
# baseline: writes OUT/benchmarks.md (the table of ratios), OUT/benchmarks.svg
# (the chart) and OUT/benchmarks.json. Instruction counts take valgrind and a
# few minutes; --no-instructions measures time only.
#   tools/run-benchmarks.sh [--no-instructions] [--filter REGEX] [--repetitions N]
# BUILD (default build-benchmarks) and OUT (default benchmark-results) can be
# set in the environment.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build-benchmarks}
out=${OUT:-benchmark-results}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDAPEXT_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target tervane_benchmarks kandrel_benchmarks kandrel_directory_walk_benchmark
python3 tools/benchmark_report.py "$build" "$out" "$@"
