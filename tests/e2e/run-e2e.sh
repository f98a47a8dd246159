#!/usr/bin/env bash
# Runs the end-to-end test program under Wine with the given locale, in a
# private Wine prefix (scripts/wine-run.sh). Without a display it starts its
# own Xvfb for the run and stops it afterwards.
# Usage: run-e2e.sh [--shortcut-from=LOCALE] LOCALE PROGRAM [ARGS...]
# With --shortcut-from, `PROGRAM --write-shortcut` first runs under that
# locale in the same prefix, and the run is told so (--shortcut-written):
# a shortcut written under one code page and read under another.
set -u
here=$(cd "$(dirname "$0")" && pwd)
shortcut_locale=
case ${1:-} in
  --shortcut-from=*) shortcut_locale=${1#*=}; shift ;;
esac
export LC_ALL=$1
shift
source "$here/../../scripts/xvfb.sh"
start_xvfb || exit 1
rc=0
if [ -n "$shortcut_locale" ]; then
  WINEPREFIX=$(mktemp -d /tmp/brisko-wine.XXXXXX)
  export WINEPREFIX
  LC_ALL=$shortcut_locale bash "$here/../../scripts/wine-run.sh" "$1" --write-shortcut
  rc=$?
  [ "$rc" = 0 ] || echo "run-e2e: no shortcut written under $shortcut_locale (exit $rc)" >&2
  set -- "$@" --shortcut-written
fi
[ "$rc" = 0 ] && { bash "$here/../../scripts/wine-run.sh" "$@"; rc=$?; }
if [ -n "$shortcut_locale" ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
stop_xvfb
exit $rc
