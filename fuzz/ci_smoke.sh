#!/usr/bin/env bash
# A short, repeatable fuzz run for CI: builds the fuzz preset, seeds the
# corpora and runs each target for a fixed number of inputs from a fixed
# seed (about half a minute each), two at a time.  Fails on any finding.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j2 >/dev/null
fuzz/seed_corpora.sh build/fuzz
run() {  # target, inputs, max_len
  local dir="build/fuzz/ci-$1"
  rm -rf "$dir" && cp -r "build/fuzz/corpus-$1" "$dir"
  "build/fuzz/fuzz_$1" -seed=1 -runs="$2" -max_len="$3" -timeout=25 -max_total_time=90 \
    -print_final_stats=1 "$dir" >"build/fuzz/ci-$1.log" 2>&1 || { tail -40 "build/fuzz/ci-$1.log"; return 1; }
  grep -E '^stat::number_of_executed_units' "build/fuzz/ci-$1.log" | sed "s/^/fuzz_$1 /"
}
status=0
run records_read 30000 4096 & a=$!
run list_read 300000 4096 & b=$!
wait $a || status=1
wait $b || status=1
run format_out 60000 4096 & a=$!
run job 6000 12288 & b=$!
wait $a || status=1
wait $b || status=1
# The result files' readers: inputs as long as a whole run's four files.
run results_read 3000 65536 || status=1
run csv_read 3000 4096 || status=1
exit $status
