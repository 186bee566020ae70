#!/bin/sh
# Installs what a task needs, when any of it is missing.
#   scripts/deps.sh build   compiler and CMake: enough for kirato-cli
#   scripts/deps.sh test    everything the test suite needs, Qt included, and
#                           the npm packages of the SGF readers test
#   scripts/deps.sh fuzz    clang and its fuzzer runtime
#   scripts/deps.sh bench   the benchmarks' library
#   scripts/deps.sh windows the cross compiler for 64-bit Windows, Wine and a
#                           virtual display to test with, GoogleTest's
#                           sources, zip, and a Japanese locale for Wine
set -eu
repo="$(cd "$(dirname "$0")/.." && pwd)"

build="g++ cmake ninja-build nlohmann-json3-dev"
case "${1:-build}" in
  build) wanted="$build" ;;
  dialog) wanted="$build qt6-base-dev" ;;
  test) wanted="$build qt6-base-dev libgtest-dev python3 clang gnugo" ;;
  fuzz) wanted="$build clang libclang-rt-14-dev" ;;
  bench) wanted="$build libbenchmark-dev libgtest-dev python3 time" ;;
  windows) wanted="cmake ninja-build python3 g++-mingw-w64-x86-64-posix
                   googletest nlohmann-json3-dev wine wine64 xvfb xauth zip
                   locales" ;;
  *) echo "usage: $0 build|dialog|test|fuzz|bench|windows" >&2; exit 2 ;;
esac

missing=""
for p in $wanted; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" ||
    missing="$missing $p"
done
# The readers test runs Node.js; any node and npm on the PATH will do, the
# Debian packages only when there are none.
if [ "${1:-build}" = test ]; then
  command -v node >/dev/null 2>&1 || missing="$missing nodejs"
  command -v npm >/dev/null 2>&1 || missing="$missing npm"
fi

if [ -n "$missing" ]; then
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
fi

# The exact versions tests/readers/package-lock.json names.
if [ "${1:-build}" = test ] && [ ! -d "$repo/tests/readers/node_modules" ]; then
  echo "Installing the SGF readers' npm packages"
  npm ci --prefix "$repo/tests/readers" --no-audit --no-fund
fi

# Wine takes its ANSI code page from the locale: the tests of datafiles
# saved in Japanese need the locale itself, not only its name.
if [ "${1:-build}" = windows ] && ! locale -a | grep -qx ja_JP.utf8; then
  echo "Making the locale ja_JP.UTF-8"
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  else
    sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  fi
fi
