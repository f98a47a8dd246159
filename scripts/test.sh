#!/usr/bin/env bash
# Every test: installs what is missing, builds the native, win32, win64 and
# sanitize targets, runs the native tests, the win32 and win64 tests under
# Wine (one WoW64 prefix per test runs 32-bit and 64-bit programs alike) and
# the tests under ASan and UBSan, then fuzzes every harness for a bounded
# time (FUZZ_SECONDS each, 30 s). Where Wine cannot run 32-bit programs, the
# win32 tests that need it report themselves skipped, and this says why.
# NATIVE_PRESET names another preset for the native build and its tests (CI
# takes "ci", which also makes every warning an error).
set -euo pipefail
cd "$(dirname "$0")/.."
native=${NATIVE_PRESET:-native}
bash scripts/build-presets.sh "$native" win32 win64 sanitize

echo "== Windows outputs"
find build/win32 build/win64 -maxdepth 3 -name '*.exe' -not -path '*/googletest/*' -print0 | xargs -0 -r file

# The Windows tests open windows: give them a display.
source scripts/xvfb.sh
start_xvfb
trap stop_xvfb EXIT

status=0
echo "== native tests ($native)"
ctest --preset "$native" || status=1
echo "== win32 tests under Wine"
bash scripts/wine-run.sh --has-wine32 || echo "SKIPPED: every win32 test that runs a program; only the static checks run"
ctest --preset win32 || status=1
echo "== win64 tests under Wine"
ctest --preset win64 || status=1
echo "== tests under ASan and UBSan"
ctest --preset sanitize || status=1
echo "== fuzzing"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}" || status=1
exit $status
