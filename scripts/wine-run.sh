#!/usr/bin/env bash
# Runs a Windows program of the mingw build under Wine with code page 932.
# The prefix lives in the build tree (WINEPREFIX may override it) so that
# tests never touch the user's own Wine setup.
set -u
exe="$1"; shift
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  # Walk up to the build directory (the one holding CMakeCache.txt).
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = "/" ] && dir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
exec "$WINE" "$exe" "$@"
