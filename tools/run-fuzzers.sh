#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, starting from its
# committed corpus, FUZZ_JOBS (default 2) targets at a time; fails on any
# crash, leak or timeout.
set -euo pipefail
build=${1:?usage: run-fuzzers.sh BUILD-FOLDER [SECONDS]}
seconds=${2:-60}
jobs=${FUZZ_JOBS:-2}
corpora=$(cd "$(dirname "$0")/../tests/fuzz/corpus" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs one target; its verdict goes to NAME.verdict, its log to NAME.log.
run_one() {
  local fuzzer=$1 name
  name=$(basename "$fuzzer")
  mkdir -p "$work/$name"
  cp "$corpora/$name"/* "$work/$name/"
  if "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$' || echo "?")
    echo "$name: $runs executions, no findings" >"$work/$name.verdict"
  else
    echo "FINDING" >"$work/$name.verdict"
  fi
}

targets=()
for fuzzer in "$build"/tests/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  targets+=("$fuzzer")
  run_one "$fuzzer" &
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
done
wait

status=0
for fuzzer in "${targets[@]}"; do
  name=$(basename "$fuzzer")
  if [ "$(cat "$work/$name.verdict")" = FINDING ]; then
    echo "$name: FINDING"
    tail -n 60 "$work/$name.log"
    status=1
  else
    cat "$work/$name.verdict"
  fi
done
exit $status
