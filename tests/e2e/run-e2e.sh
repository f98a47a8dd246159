#!/usr/bin/env bash
# Runs the end-to-end test program under wine64 with the given locale, in a
# private Wine prefix (scripts/wine-run.sh). Without a display it starts its
# own Xvfb for the run and stops it afterwards.
# Usage: run-e2e.sh LOCALE PROGRAM [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=$1
shift
source "$here/../../scripts/xvfb.sh"
start_xvfb || exit 1
bash "$here/../../scripts/wine-run.sh" "$@"
rc=$?
stop_xvfb
exit $rc
