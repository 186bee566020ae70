#!/bin/sh
# Builds kirato-cli and the window program in release mode, then times whole
# jobs side by side: bench/run_job.sh [--files 20000] [--rounds 5]
# [--jobs 1,2,4] [--workdir /dev/shm]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh dialog
scripts/deps.sh bench
cmake --preset default >/dev/null
cmake --build --preset default --target kirato-cli kirato
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKIRATO_BENCH=ON -DKIRATO_TESTS=OFF -DKIRATO_DIALOG=OFF >/dev/null
cmake --build build/bench --target parse_corpus
python3 bench/job_bench.py --cli build/default/kirato-cli \
  --dialog build/default/app/dialog/kirato \
  --parse build/bench/bench/parse_corpus "$@"
