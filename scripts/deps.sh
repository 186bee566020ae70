#!/bin/sh
# Installs the Debian packages a task needs, when any are missing.
#   scripts/deps.sh build   compiler and CMake: enough for kirato-cli
#   scripts/deps.sh test    everything the test suite needs, Qt included
#   scripts/deps.sh fuzz    clang and its fuzzer runtime
#   scripts/deps.sh bench   the benchmarks' library
set -eu

build="g++ cmake ninja-build"
case "${1:-build}" in
  build) wanted="$build" ;;
  dialog) wanted="$build qt6-base-dev" ;;
  test) wanted="$build qt6-base-dev libgtest-dev python3 clang gnugo" ;;
  fuzz) wanted="$build clang libclang-rt-14-dev" ;;
  bench) wanted="$build libbenchmark-dev libgtest-dev python3 time" ;;
  *) echo "usage: $0 build|dialog|test|fuzz|bench" >&2; exit 2 ;;
esac

missing=""
for p in $wanted; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
  sudo=""
elif command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  echo "Please install these packages as root:$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
