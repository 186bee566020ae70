#!/bin/sh
# Runs a Windows program under Wine: scripts/wine-run.sh PROGRAM.exe [ARG]...
# Without a program it only opens Wine's session.
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
# The first program of a session starts Wine's services, which stay and
# would hold on to its standard streams (a caller reading them to their end
# would wait for ever). So the session is opened here, with none of them:
# a server that outlives each program by half a minute, and its services
# (the first time, in a new prefix). Programs started side by side wait
# for each other here.
mkdir -p "$WINEPREFIX"
(
  flock 9
  if wineserver -p30 >/dev/null 2>&1 </dev/null 9>&-; then
    wineboot >/dev/null 2>&1 </dev/null 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"
share="$WINEPREFIX/dosdevices/unc/localhost"
if [ ! -e "$share/root" ]; then
  mkdir -p "$share"
  ln -sfn / "$share/root"
fi
[ $# -gt 0 ] || exit 0
exec wine "$@"
