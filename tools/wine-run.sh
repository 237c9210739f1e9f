#!/bin/sh
# Runs one Windows program under Wine: wine-run.sh <wine> <program> [args].
# Quiet, no desktop; the prefix is made once, under a lock, because CTest
# starts several programs at the same moment on a fresh machine.
wine="$1"; shift
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
prefix="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
