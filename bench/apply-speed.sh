#!/usr/bin/env bash
# The installer's writing speed against dd, under Wine: packs an installer
# (the stub of ARCH, briskopack, the demo's script with a payload of random
# data) whose target application is set up in a private Wine prefix, and
# times, in turn, the installer from the Start click to its success message
# (bench-launch.exe, on the Windows side) and
# `dd if=PAYLOAD of=TARGET/x... bs=1M conv=fsync` of the same bytes into the
# same folder (one dd per payload file, each flushed, as the installer flushes
# each file), RUNS times each after one warm-up of each. Prints the median
# times and the median of the pairwise speed ratios (dd's time / the
# installer's: 1.0 means as fast as dd; the goal is at least 0.95).
#
#   bash bench/apply-speed.sh [SIZE] [FILES]     default: 512 MiB in 1 file
#   ARCH=x86 bash bench/apply-speed.sh           the 32-bit installer
#
# SIZE is the whole payload in MiB, or in KiB with a k ("6400k" for 100 files
# of 64 KiB).
#
# By default every run writes new files: the installer's and dd's files are
# removed after each run. REPLACE=1 keeps them, so that every counted run
# replaces existing files (the installer by ReplaceFileW, dd by truncating).
# The time of one dd per file includes starting that dd (a millisecond or
# two), which counts against dd with many small files.
#
# Both writers start SETTLE seconds (default 3) after the last files were
# removed: on a virtual machine that hands freed memory back to its host
# after a moment (free page reporting), memory freed just before is much
# faster to fill than memory freed seconds before, which would favour
# whichever writer runs right after a removal.
#
# CORPUS=1 writes the patch-shaped corpus of make_corpus (bench/lib.sh,
# about 168 MiB in 9 files) in place of random data, and PACK_OPTIONS gives
# the packer's options (default --store; empty for its default compression):
#
#   CORPUS=1 PACK_OPTIONS= bash bench/apply-speed.sh     compressed payloads
#
# Environment: ARCH (x64, the default, or x86: the build whose stub and
# bench-launch.exe run), RUNS (default 5), REPLACE, SETTLE, PACKER, STUB,
# DATA (a file to which one line "files size_mib installer_s dd_s ratio" is
# appended, for the plot). Run after a native and a win64 (or win32) build. Uses DISPLAY, or an Xvfb of
# its own when none is set. Needs about 4 x SIZE of disk space.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source scripts/xvfb.sh
source bench/wine.sh
size=$(size_bytes "${1:-512}")
size_mib=$(as_mib "$size")
files=${2:-1}
runs=${RUNS:-5}
settle=${SETTLE:-3}
packer=$(realpath -m "${PACKER:-build/native/tools/briskopack/briskopack}")
build=$(bench_build)
stub=$(realpath -m "${STUB:-$build/briskopatch-stub.exe}")
launch=$build/bench/bench-launch.exe
need_wine_programs "$packer" "$stub" "$build"

work=$(mktemp -d "${TMPDIR:-/tmp}/briskopatch-apply.XXXXXX")
start_wine_prefix
trap 'stop_wine_prefix; stop_xvfb; rm -rf "$work"' EXIT
start_xvfb
SCRIPT_TEMPLATE=samples/demo/patch.txt make_patch "$work/patch" "$size" "$files"
if [ -n "${CORPUS:-}" ]; then
  rm -f "$work"/patch/payload/*
  make_corpus "$work/patch/payload"
  {
    LC_ALL=C sed -e '/^%OutFiles/,$d' "$work/patch/script.txt"
    printf '%%OutFiles\r\n'
    for f in "$work"/patch/payload/*; do printf '\t%s\r\n' "${f##*/}"; done
    printf '%%%%\r\n'
  } >"$work/script.new" && mv "$work/script.new" "$work/patch/script.txt"
  size=$(cat "$work"/patch/payload/* | wc -c)
  size_mib=$(as_mib "$size")
  files=$(ls "$work"/patch/payload | wc -l)
fi
# shellcheck disable=SC2086 # the options are words
"$packer" build ${PACK_OPTIONS---store} --stub "$stub" -o "$work/installer.exe" "$work/patch" >/dev/null
payloads=("$work"/patch/payload/*)
set_up_demo_target "$build"

# Writes the same bytes with dd and prints the seconds it took.
dd_s() {
  local t0 t1 payload
  sleep "$settle"
  t0=$(now_ns)
  for payload in "${payloads[@]}"; do
    dd if="$payload" of="$target_dir/x${payload##*/}" bs=1M conv=fsync status=none
  done
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'
}

installer_times=() dd_times=() ratios=()
for ((run = 0; run <= runs; run++)); do
  [ -n "${REPLACE:-}" ] || (cd "$target_dir" && rm -f -- $(cd "$work/patch/payload" && ls))
  sync  # nothing of the last writer's left to write back
  time_apply "$work/installer.exe" $((settle * 1000))
  a=$took_s
  if [ "$run" -eq 0 ]; then
    for payload in "${payloads[@]}"; do
      cmp -s "$payload" "$target_dir/${payload##*/}" || { echo "the installer wrote ${payload##*/} wrongly" >&2; exit 1; }
    done
  fi
  [ -n "${REPLACE:-}" ] || rm -f "$target_dir"/x*
  sync
  d=$(dd_s)
  [ "$run" -eq 0 ] && continue  # warm-up
  installer_times+=("$a") dd_times+=("$d")
  ratios+=("$(awk -v a="$a" -v d="$d" 'BEGIN { printf "%.3f", d / a }')")
done

a=$(median "${installer_times[@]}") d=$(median "${dd_times[@]}") r=$(median "${ratios[@]}")
what=$([ -n "${REPLACE:-}" ] && echo "replacing existing files" || echo "new files")
printf '%s, payload %s MiB in %d file(s), %d runs, %s: installer %.3f s, dd %.3f s (medians)\n' \
  "${ARCH:-x64}" "$size_mib" "$files" "$runs" "$what" "$a" "$d"
printf 'installer speed / dd speed: %.2f (goal >= 0.95; median of pairs; runs: %s)\n' "$r" "${ratios[*]}"
[ -n "${DATA:-}" ] && echo "$files $size_mib $a $d $r" >>"$DATA"
exit 0
