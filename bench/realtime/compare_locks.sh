#!/usr/bin/env bash
# Priority-inheriting against ordinary server and tap locks, in alternating rounds so that both
# meet the same machine load (the figures of one long run depend on what else the machine does).
#   bench/realtime/compare_locks.sh BUILD_DIR [ROUNDS [SECONDS [FILTER]]]
# defaults: 5 rounds of 120 s each, fifo:1/spinners:2.
set -euo pipefail
build=${1:?build directory with deadline_bench and deadline_bench_plain_locks}
rounds=${2:-5}
seconds=${3:-120}
filter=${4:-fifo:1/spinners:2}

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
for round in $(seq "$rounds"); do
  for bench in deadline_bench deadline_bench_plain_locks; do
    QUORVEL_DEADLINE_SECONDS=$seconds "$build/bench/$bench" --benchmark_filter="BM_Deadline/$filter" \
      --benchmark_format=json 2>/dev/null |
      python3 -c '
import json, sys
run = json.load(sys.stdin)["benchmarks"][0]
print(sys.argv[1], sys.argv[2], *(run[k] for k in ("pass_median_us", "pass_p999_us", "pass_worst_us",
      "passes_over_580us", "server_wait_worst_us", "tap_wait_worst_us")))' "$round" "$bench" | tee -a "$summary"
  done
done
python3 - "$summary" <<'EOF'
import sys
rows = [line.split() for line in open(sys.argv[1])]
print("lock kind                  rounds  median_us  worst_pass_us  over_580us  server_wait_worst_us  tap_wait_worst_us")
for bench, kind in (("deadline_bench", "priority inheritance"), ("deadline_bench_plain_locks", "ordinary")):
    mine = [list(map(float, row[2:])) for row in rows if row[1] == bench]
    median = sorted(r[0] for r in mine)[len(mine) // 2]
    print(f"{kind:26s} {len(mine):6d}  {median:9.1f}  {max(r[2] for r in mine):13.1f}  "
          f"{sum(r[3] for r in mine):10.0f}  {max(r[4] for r in mine):20.1f}  {max(r[5] for r in mine):17.1f}")
EOF
