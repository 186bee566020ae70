#!/usr/bin/env bash
# Builds the move-notes benchmark in Release and prints the median time of
# the program's conversion and of the scanning reference, and their ratio. This
# machine's times vary from run to run: compare the ratio, not one time.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$repo/build/bench}"
repetitions="${REPETITIONS:-15}"

"$repo/scripts/deps.sh" bench
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKIRATO_BENCH=ON -DKIRATO_TESTS=OFF -DKIRATO_DIALOG=OFF >/dev/null
cmake --build "$build" --target move_notes_bench >/dev/null

json="$(mktemp)"
trap 'rm -f "$json"' EXIT
"$build/bench/move_notes_bench" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$json"

python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"]: r["real_time"] for r in runs
          if r.get("aggregate_name") == "median"}
indexed = median["BM_ConvertIndexed"]
scan = median["BM_ConvertLinearScan"]
print(f"9,999 moves, 9,999 comment lines, median of {runs[0]['repetitions']} runs")
print(f"  program (index):    {indexed:8.2f} ms")
print(f"  reference (scan):   {scan:8.2f} ms")
print(f"  scan / index ratio: {scan / indexed:8.1f}")
PY
