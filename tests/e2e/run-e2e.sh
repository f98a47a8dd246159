#!/usr/bin/env bash
# Runs the end-to-end test program under wine64 with the given locale, in a
# private Wine prefix (scripts/wine-run.sh). Without a display it starts its
# own Xvfb for the run and stops it afterwards.
# Usage: run-e2e.sh LOCALE PROGRAM [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=$1
shift
xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 150); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; break; fi
    xvfb_pid=
  done
  [ -n "${DISPLAY:-}" ] || { echo "run-e2e: cannot start Xvfb" >&2; exit 1; }
fi
bash "$here/../../scripts/wine-run.sh" "$@"
rc=$?
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
exit $rc
