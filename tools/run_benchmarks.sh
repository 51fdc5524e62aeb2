#!/bin/sh
# run_benchmarks.sh DIR [OPTION...]: runs every benchmark program DIR/bench_*
# one after the other with the options (Google Benchmark's flags), showing
# its output as it goes. Stops and fails at the first program that exits
# non-zero (a benchmark stopped on an error, a crash) or prints a line with
# "Error" or "ERROR" (a message of the model's, a failed benchmark), naming
# it; fails too when DIR holds no benchmark program.
set -u
dir=$1
shift
log=$(mktemp)
trap 'rm -f "$log" "$log.status"' EXIT
found=0
for b in "$dir"/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  found=1
  echo "== $b"
  { "$b" "$@" 2>&1; echo $? > "$log.status"; } | tee "$log"
  status=$(cat "$log.status")
  if [ "$status" != 0 ]; then
    echo "$b failed (exit status $status)" >&2
    exit 1
  fi
  if grep -q 'Error\|ERROR' "$log"; then
    echo "$b printed an error:" >&2
    grep 'Error\|ERROR' "$log" | head -n 5 >&2
    exit 1
  fi
done
if [ "$found" = 0 ]; then
  echo "no benchmark program in $dir" >&2
  exit 1
fi
