#!/usr/bin/env bash
# Compares two builds of kirato-cli byte for byte: every SGF file, the
# standard output, the trace log at level 9 and the exit status, on
# generated trees (malformed records included), the pathological record and
# the records of bench/make_special.py, decoded and with CHARSET=KEEP, with
# one thread and with four.
#
#   bench/compare_outputs.sh [--same] OLD_CLI NEW_CLI [FILES]
#
# FILES (default 3000) is the size of the larger generated tree. Both
# programs run in turn on the same paths, so that messages naming paths
# compare too. The records of make_special.py's changed/ folder are meant
# to differ: their differences are shown, and each of them must differ in
# the SGF it gives. With --same, for a change that is to alter no byte at
# all, they are compared as all the others. Exit status 0 when all else is
# the same.
set -euo pipefail
same=0
if [ "${1:-}" = --same ]; then
  same=1
  shift
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 [--same] OLD_CLI NEW_CLI [FILES]" >&2
  exit 2
fi
old="$(realpath "$1")"
new="$(realpath "$2")"
files="${3:-3000}"
repo="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$repo/bench/make_tree.py" "$work/in/tree-a" --files "$files" --seed 1
python3 "$repo/bench/make_tree.py" "$work/in/tree-b" --files $((files / 3)) \
  --seed 7
python3 "$repo/bench/make_tree.py" --pathological "$work/in/pathological.ugf"
python3 "$repo/bench/make_special.py" "$work/special" --source-dir "$repo"
records() { find "$@" -type f \( -name '*.ugf' -o -name '*.ugi' \) | wc -l; }
echo "records: $(records "$work/in") generated, $(records "$work/special/same")" \
     "special, $(records "$work/special/changed") changed on purpose"

failures=0

# Runs one program on job.txt; its outputs go to $work/result.NAME.
run() {
  local name="$1" cli="$2" jobs="$3"
  rm -rf "$work/out" "$work/job.log"
  set +e
  "$cli" -j "$jobs" "$work/job.txt" >"$work/stdout" 2>"$work/stderr"
  echo "exit status $?" >>"$work/stderr"
  set -e
  rm -rf "$work/result.$name"
  mkdir "$work/result.$name"
  mv "$work/stdout" "$work/stderr" "$work/result.$name/"
  [ -f "$work/job.log" ] && mv "$work/job.log" "$work/result.$name/log"
  [ -d "$work/out" ] && mv "$work/out" "$work/result.$name/out"
  return 0
}

# Writes job.txt: LOG=9, the charset line, then an OUT and IN pair for each
# folder.
job() {
  local charset="$1"
  shift
  {
    echo "LOG=9"
    [ "$charset" = keep ] && echo "CHARSET=KEEP"
    for dir in "$@"; do
      echo "OUT=$work/out/$(basename "$dir")"
      echo "IN=$dir"
    done
  } >"$work/job.txt"
}

for charset in decode keep; do
  for jobs in 1 4; do
    mode="$charset, -j $jobs"
    if [ "$same" = 1 ]; then
      job "$charset" "$work/in" "$work/special/same" "$work/special/changed"
    else
      job "$charset" "$work/in" "$work/special/same"
    fi
    run old "$old" "$jobs"
    run new "$new" "$jobs"
    sgf=$(find "$work/result.old/out" -name '*.sgf' | wc -l)
    lines=$(wc -l <"$work/result.old/stdout")
    loglines=$(wc -l <"$work/result.old/log")
    if diff -r "$work/result.old" "$work/result.new" >"$work/diff"; then
      echo "same ($mode): $sgf SGF files, $lines lines of output," \
           "$loglines lines of trace log, exit status"
    else
      echo "DIFFERENT ($mode):"
      head -n 40 "$work/diff"
      failures=$((failures + 1))
    fi

    [ "$same" = 1 ] && continue
    job "$charset" "$work/special/changed"
    run old "$old" "$jobs"
    run new "$new" "$jobs"
    for record in "$work/special/changed"/*; do
      name="$(basename "${record%.*}").sgf"
      a="$work/result.old/out/changed/$name"
      b="$work/result.new/out/changed/$name"
      if cmp -s <(cat "$a" 2>/dev/null) <(cat "$b" 2>/dev/null); then
        echo "UNCHANGED ($mode): $(basename "$record") was meant to change"
        failures=$((failures + 1))
      elif [ "$jobs" = 1 ]; then
        echo "changed on purpose ($mode): $(basename "$record")"
        diff <(cat "$a" 2>/dev/null) <(cat "$b" 2>/dev/null) |
          sed 's/^/    /' || true
      fi
    done
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures comparisons failed"
  exit 1
fi
echo "all comparisons the same"
