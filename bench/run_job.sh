#!/bin/sh
# Builds kirato-cli and the window program in release mode, then times whole
# jobs side by side: bench/run_job.sh [--files 20000] [--rounds 5]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh dialog
scripts/deps.sh bench
cmake --preset default >/dev/null
cmake --build --preset default --target kirato-cli kirato
python3 bench/job_bench.py --cli build/default/kirato-cli \
  --dialog build/default/app/dialog/kirato "$@"
