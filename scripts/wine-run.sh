#!/usr/bin/env bash
# Runs a Windows program of the mingw build under Wine with code page 932.
# The prefix lives in the build tree (WINEPREFIX may override it) so that
# tests never touch the user's own Wine setup.
#
# Two things are set up once per build tree, under a lock so that parallel
# runs do not race:
# - The prefix itself (wineboot -i): its creation takes several seconds, and
#   programs started while it is half made fail in odd ways.
# - A ja_JP.UTF-8 locale for the C library, compiled into the build tree when
#   the system has none. Wine takes the Japanese code page from LC_ALL even
#   without it, but then treats Unix file names as ASCII, and every file name
#   with Japanese characters fails with "file not found".
set -u
exe="$1"; shift
build=$(cd "$(dirname "$exe")" && pwd)
# Walk up to the build directory (the one holding CMakeCache.txt).
while [ "$build" != "/" ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" = "/" ] && build=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=${WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)

has_system_locale() { locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; }

setup() {
  if ! has_system_locale && [ ! -f "$build/locale/ja_JP.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$build/locale"
    localedef -i ja_JP -f UTF-8 "$build/locale/ja_JP.UTF-8" >/dev/null 2>&1 ||
      echo "wine-run.sh: could not build the ja_JP.UTF-8 locale; Japanese file names will fail" >&2
  fi
  if [ ! -f "$WINEPREFIX/.extmerge-ready" ]; then
    mkdir -p "$WINEPREFIX"
    LC_ALL=ja_JP.UTF-8 LOCPATH="$build/locale" "$WINE" wineboot -i >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.extmerge-ready"
  fi
}

if ! has_system_locale && [ ! -f "$build/locale/ja_JP.UTF-8/LC_CTYPE" ] ||
   [ ! -f "$WINEPREFIX/.extmerge-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  if command -v flock >/dev/null; then
    (flock 9; setup) 9>"$WINEPREFIX.setup-lock"
  else
    setup
  fi
fi

[ -d "$build/locale" ] && export LOCPATH="$build/locale"
export LC_ALL=ja_JP.UTF-8
exec "$WINE" "$exe" "$@"
