#!/usr/bin/env bash
# Runs a Windows program under wine64 in a private, throw-away prefix with the
# Japanese locale (ANSI code page 932), as CTest's emulator for the win64
# build. A caller may pin WINEPREFIX and LC_ALL itself.
set -u
export LC_ALL=${LC_ALL:-ja_JP.UTF-8}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEDEBUG=${WINEDEBUG:--all}
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/brisko-wine.XXXXXX)
  export WINEPREFIX
  own_prefix=1
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
"$wine" "$@"
rc=$?
if [ -n "$own_prefix" ]; then
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
exit $rc
