#!/bin/sh
# Builds kirato-cli in release mode and times whole jobs side by side.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh bench
cmake --preset default >/dev/null
cmake --build --preset default --target kirato-cli
python3 bench/walk_bench.py "$@"
