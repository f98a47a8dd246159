#!/usr/bin/env bash
# The installer's start-up against a minimal window program, under Wine:
# the time from process start to a visible window, measured on the Windows
# side by bench-launch.exe (QueryPerformanceCounter from just before
# CreateProcessW until a top-level window of the new process is visible and
# has an area), for the demo installer, whose target application is set up
# in the prefix so that it finds its folder and opens normally, and for
# minimal-window.exe (registers a class, shows one window, runs a message
# loop). The two alternate, RUNS times each after one warm-up of each, in one
# private Wine prefix kept (and its wineserver kept running) for the whole
# call. Prints the median times and the median of the pairwise ratios
# (installer / minimal window; the goal is at most 1.3).
#
#   bash bench/startup.sh
#   ARCH=x86 bash bench/startup.sh     the 32-bit installer and yardstick
#
# Environment: ARCH (x64, the default, or x86: the build whose demo
# installer, minimal window and bench-launch.exe run), RUNS (default 7),
# INSTALLER (default the demo installer; any installer whose script names the
# demo's shortcut and check file, such as one packed with
# SCRIPT_TEMPLATE=samples/demo/patch.txt). Run after a win64 (or win32)
# build. Uses DISPLAY, or an Xvfb of its own when none is set.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source scripts/xvfb.sh
source bench/wine.sh
runs=${RUNS:-7}
build=$(bench_build)
installer=$(realpath -m "${INSTALLER:-$build/briskopatch-demo.exe}")
for program in "$installer" "$build/bench/bench-launch.exe" "$build/bench/minimal-window.exe" \
  "$build/demo-target.exe"; do
  [ -f "$program" ] || { echo "no $program: build the ${build#build/} preset first" >&2; exit 2; }
done

start_wine_prefix
trap 'stop_wine_prefix; stop_xvfb' EXIT
start_xvfb
set_up_demo_target "$build"

# LABEL PROGRAM: one start-up, in milliseconds; checks that the window is the
# expected one (the installer shows a message box instead when it finds no
# target).
startup_ms() {
  local out ms class
  out=$(bash scripts/wine-run.sh "$build/bench/bench-launch.exe" window "$(windows_path "$2")" | tr -d '\r') ||
    return 1
  read -r ms class <<<"$out"
  case $1:$class in
    installer:TFormMain | minimal:MinimalWindow) echo "$ms" ;;
    *) echo "$1: the first window shown was a $class window" >&2; return 1 ;;
  esac
}

installer_times=() minimal_times=() ratios=()
for ((run = 0; run <= runs; run++)); do
  a=$(startup_ms installer "$installer")
  b=$(startup_ms minimal "$build/bench/minimal-window.exe")
  [ "$run" -eq 0 ] && continue  # warm-up
  installer_times+=("$a") minimal_times+=("$b")
  ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')")
done

a=$(median "${installer_times[@]}") b=$(median "${minimal_times[@]}") r=$(median "${ratios[@]}")
printf '%s start-up to a visible window: installer %.1f ms, minimal window %.1f ms (medians of %d)\n' "${ARCH:-x64}" "$a" "$b" "$runs"
printf 'installer / minimal window: %.2f (goal <= 1.3; median of pairs; runs: %s)\n' "$r" "${ratios[*]}"
