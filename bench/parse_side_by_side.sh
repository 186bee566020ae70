#!/usr/bin/env bash
# Parsing and formatting alone, two builds of bench/parse_corpus side by
# side on one generated tree: their runs take turns, so that whatever else
# the machine does weighs on both alike. Prints each run, the medians and
# their ratio.
#
#   bench/parse_side_by_side.sh OLD_PARSE_CORPUS NEW_PARSE_CORPUS [FILES] [RUNS]
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_PARSE_CORPUS NEW_PARSE_CORPUS [FILES] [RUNS]" >&2
  exit 2
fi
old="$1"
new="$2"
files="${3:-2000}"
runs="${4:-7}"
repo="$(cd "$(dirname "$0")/.." && pwd)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
python3 "$repo/bench/make_tree.py" "$tree" --files "$files" >/dev/null 2>&1

# The median of parse_corpus's own median over 7 rounds, `runs` times.
micros() { "$1" "$tree" 7 | sed -n 's/.*median \([0-9.]*\) us.*/\1/p'; }
a=()
b=()
for ((i = 0; i < runs; i++)); do
  a+=("$(micros "$old")")
  b+=("$(micros "$new")")
  echo "run $((i + 1)): old ${a[-1]} us, new ${b[-1]} us a record"
done
kb="$("$new" "$tree" 1 | sed -n 's/.*, \([0-9.]*\) KB each.*/\1/p')"
python3 - "$(IFS=,; echo "${a[*]}")" "$(IFS=,; echo "${b[*]}")" "$kb" \
  "$files" <<'PY'
import statistics, sys
old = [float(x) for x in sys.argv[1].split(",")]
new = [float(x) for x in sys.argv[2].split(",")]
kb = float(sys.argv[3])
mo, mn = statistics.median(old), statistics.median(new)
print(f"{sys.argv[4]} records, {kb} KB each on average")
print(f"old: median {mo:.2f} us a record ({kb * 1000 / mo:.0f} MB/s)")
print(f"new: median {mn:.2f} us a record ({kb * 1000 / mn:.0f} MB/s)")
print(f"old / new: {mo / mn:.2f}")
PY
