#!/bin/sh
# Removes what scripts/install.sh installed into PREFIX, and nothing else.
#   scripts/uninstall.sh [PREFIX]   default /usr/local; sudo is asked for
#                                   when PREFIX is not writable
set -eu
prefix="${1:-/usr/local}"
case "$prefix" in
  /*) ;;
  *) prefix="$(pwd)/$prefix" ;;
esac
files="bin/kirato bin/kirato-cli share/man/man1/kirato.1
       share/man/man1/kirato-cli.1 share/doc/kirato/LICENSE
       share/applications/kirato.desktop"
for size in 32 48 64 128 256; do
  files="$files share/icons/hicolor/${size}x$size/apps/kirato.png"
done
run=""
if [ ! -w "$prefix" ] && [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
  run="sudo"
fi
for f in $files; do
  [ -e "$prefix/$f" ] && $run rm -f "$prefix/$f" && echo "removed $prefix/$f"
done
$run rmdir "$prefix/share/doc/kirato" 2>/dev/null || true
echo "kirato is uninstalled from $prefix."
