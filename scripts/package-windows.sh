#!/bin/sh
# Builds the release zip for Windows, build/windows/kirato-VERSION-windows-x64.zip:
# kirato.exe, kirato-cli.exe, a sample job kirato.txt, README.txt (the
# Windows guide, docs/windows.md) and LICENSE.txt, side by side at the top,
# so that the zip unpacks into a job folder as it is. The programs are
# cross-built in release mode and need no DLL.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target kirato kirato-cli
version="$(sed -n 's/^project(kirato VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
stage="build/windows/package"
zip="build/windows/kirato-$version-windows-x64.zip"
rm -rf "$stage" "$zip"
mkdir -p "$stage"
cp build/windows/app/win32/kirato.exe build/windows/kirato-cli.exe "$stage/"
# Text files with the line ends Notepad writes.
sed 's/$/\r/' app/win32/kirato.txt >"$stage/kirato.txt"
sed 's/$/\r/' docs/windows.md >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
(cd "$stage" && zip -q -X "../$(basename "$zip")" \
  kirato.exe kirato-cli.exe kirato.txt README.txt LICENSE.txt)
echo "$zip"
