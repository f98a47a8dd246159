#!/usr/bin/env bash
# Fuzzes every harness of fuzz/ for a bounded time each, after a build of the
# "sanitize" preset. Starts from the committed seeds and regression inputs;
# what libFuzzer adds goes to build/sanitize/fuzz-corpus/<harness>/, which
# later runs reuse. A crash stops with the harness's report and leaves the
# input in build/sanitize/fuzz-crashes/.
# Prints per harness: executions, seconds, executions per second, committed
# inputs (seeds and regressions) and the size of the grown corpus.
# Usage: fuzz.sh [SECONDS_PER_HARNESS] [HARNESS...]   (default 30 s, all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=build/sanitize
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(script_reader split_path bitmap lint pe_reader pe_writer delta)

mkdir -p "$build/fuzz-crashes"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
printf '%-14s %10s %8s %8s %6s %6s\n' harness executions seconds exec/s seeds corpus
for name in "${harnesses[@]}"; do
  work=$build/fuzz-corpus/$name
  mkdir -p "$work"
  inputs=("$work" fuzz/corpus/$name)
  [ -d fuzz/regressions/$name ] && inputs+=(fuzz/regressions/$name)
  log=$build/fuzz-$name.log
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
       -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$name-" "${inputs[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    seeds=$(find "${inputs[@]:1}" -type f | wc -l)
    printf '%-14s %10s %8s %8s %6s %6s\n' "$name" "$runs" "${took:-$seconds}" "$rate" "$seeds" "$(ls "$work" | wc -l)"
  else
    echo "fuzz_$name failed; its report ($log):"
    grep -v '^#' "$log" | tail -60
    status=1
  fi
done
exit $status
