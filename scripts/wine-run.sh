#!/bin/sh
# Runs a Windows program under Wine: scripts/wine-run.sh PROGRAM.exe [ARG]...
# The cross build's tests run through it. Wine gets a prefix of its own,
# build/wine (or $WINEPREFIX), made by the first program that needs it, and
# keeps its diagnostics to itself. In that prefix the share
# \\localhost\root leads to /, as the drive Z: does.
set -eu
repo="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$repo/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Nothing asks to install Wine's .NET or HTML engines.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Programs started side by side must not make the prefix twice.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1
      wineserver --wait
    fi
  ) 9>"$WINEPREFIX.lock"
fi
share="$WINEPREFIX/dosdevices/unc/localhost"
if [ ! -e "$share/root" ]; then
  mkdir -p "$share"
  ln -sfn / "$share/root"
fi
exec wine "$@"
