#!/bin/sh
# Builds everything and runs every test: a release build with g++, the same
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a clang build.
# Compiler warnings fail the build. Then the Windows programs, cross-built,
# are tested under Wine on a virtual display (KIRATO_WINDOWS=0 skips this),
# and each fuzz target runs for KIRATO_FUZZ_SECONDS (default 60; 0 skips
# them).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh test
export QT_QPA_PLATFORM=offscreen
for preset in default asan clang; do
  echo "=== $preset"
  cmake --preset "$preset" -DKIRATO_WERROR=ON >/dev/null
  cmake --build --preset "$preset"
  # A build that runs no test must not pass for one that tested.
  ctest --preset "$preset" -j2 --no-tests=error
done
if [ "${KIRATO_WINDOWS:-1}" != 0 ]; then
  echo "=== windows"
  scripts/deps.sh windows
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  # Wine's session is opened once, before the tests, with their display.
  xvfb-run -a sh -c \
    'scripts/wine-run.sh && ctest --preset windows -j2 --no-tests=error'
fi
seconds="${KIRATO_FUZZ_SECONDS:-60}"
if [ "$seconds" -gt 0 ]; then
  scripts/fuzz.sh "$seconds"
fi
echo "All tests passed."
