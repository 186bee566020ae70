#!/bin/sh
# Builds both programs in release mode and installs them, with their manual
# pages, desktop entry and icons.
#   scripts/install.sh [PREFIX]   default /usr/local; sudo is asked for when
#                                 PREFIX is not writable
set -eu
prefix="${1:-/usr/local}"
case "$prefix" in
  /*) ;;
  *) prefix="$(pwd)/$prefix" ;;
esac
cd "$(dirname "$0")/.."
scripts/deps.sh dialog
# Configured again each time: Qt may have been installed since the last run.
cmake --preset programs >/dev/null
cmake --build --preset programs
if mkdir -p "$prefix" 2>/dev/null && [ -w "$prefix" ]; then
  cmake --install build/programs --prefix "$prefix"
elif [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
  sudo cmake --install build/programs --prefix "$prefix"
else
  echo "$0: cannot write to $prefix" >&2
  exit 1
fi
echo "Installed kirato and kirato-cli into $prefix/bin."
