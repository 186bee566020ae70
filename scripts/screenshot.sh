#!/bin/sh
# Draws docs/screenshot.png: the kirato window after a run of the example
# job, on Qt's offscreen platform, so no display is needed.
#   scripts/screenshot.sh [BUILD_DIR]   (default: build/programs, Release)
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
build=${1:-build/programs}
scripts/deps.sh dialog
if [ "$build" = build/programs ]; then
  cmake --preset programs >/dev/null
else
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" --target kirato-screenshot

# The example's paths are relative to the folder it runs in: a fresh copy,
# so that the picture shows conversions rather than up-to-date files.
job=$(mktemp -d)
trap 'rm -rf "$job"' EXIT
mkdir "$job/examples"
cp -R examples/kirato.txt examples/ugf "$job/examples/"
mkdir -p docs
cd "$job"
QT_QPA_PLATFORM=offscreen "$top/$build/app/dialog/kirato-screenshot" \
  "$job/examples/kirato" "$top/docs/screenshot.png"
echo "Wrote docs/screenshot.png"
