#!/bin/sh
# Builds kirato-cli and runs it on the example job examples/kirato.txt.
# The build goes to build/programs (release, no tests), which
# scripts/install.sh also uses; build/default stays the tests' folder.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset programs >/dev/null
cmake --build --preset programs --target kirato-cli
echo
echo "\$ build/programs/kirato-cli examples/kirato.txt"
status=0
build/programs/kirato-cli examples/kirato.txt || status=$?
echo
echo "The SGF files are in $(pwd)/examples/sgf, the trace log is examples/kirato.log."
exit $status
