#!/bin/sh
# Builds the libFuzzer targets and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS]   default 60 seconds per target
# New inputs go to build/fuzz/corpus/, crashes to build/fuzz/artifacts/;
# the seed corpus in fuzz/corpus/ is only read.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/deps.sh fuzz
cmake --preset fuzz -DKIRATO_WERROR=ON >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/artifacts
for target in convert_game datafile; do
  echo "=== fuzz $target for $seconds s"
  mkdir -p "build/fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  if ! build/fuzz/fuzz/${target}_fuzz "build/fuzz/corpus/$target" \
      "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=10 \
      -dict=fuzz/ugf.dict -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/artifacts/$target-" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; the input is in build/fuzz/artifacts/" >&2
    exit 1
  fi
  grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units" "$log" || true
done
