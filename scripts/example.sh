#!/bin/sh
# Builds kirato-cli and runs it on the example job examples/kirato.txt.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset default -DKIRATO_TESTS=OFF >/dev/null
cmake --build --preset default --target kirato-cli
echo
echo "\$ build/default/kirato-cli examples/kirato.txt"
status=0
build/default/kirato-cli examples/kirato.txt || status=$?
echo
echo "The SGF files are in $(pwd)/examples/sgf, the trace log is examples/kirato.log."
exit $status
