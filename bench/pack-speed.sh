#!/usr/bin/env bash
# The packer's speed against cat: builds an installer around a payload of
# random data and, in turn, concatenates the same stub and payload with
# `cat stub payload... > out` into the same folder, RUNS times each after one
# warm-up of each. Prints the median times, the median of the pairwise speed
# ratios (cat's time / the packer's: 1.0 or more means the packer is at least
# as fast as cat) and the packer's peak memory (/usr/bin/time).
#
#   bash bench/pack-speed.sh [SIZE] [FILES]      default: 512 MiB in 1 file
#
# SIZE is the whole payload in MiB, or in KiB with a k ("6400k" for 100 files
# of 64 KiB).
# Environment: RUNS (default 5), PACKER, STUB, DATA (a file to which one line
# "files size_mib pack_s cat_s ratio peak_kib" is appended, for the plot).
# Run after a native and a win64 build. Needs about 3 x SIZE of disk space.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
size=$(size_bytes "${1:-512}")
size_mib=$(as_mib "$size")
files=${2:-1}
runs=${RUNS:-5}
use_packer_and_stub "${PACKER:-build/native/tools/briskopack/briskopack}" "${STUB:-build/win64/briskopatch-stub.exe}" win64
scratch_folder briskopack-speed
make_patch "$work/patch" "$size" "$files"
payloads=("$work"/patch/payload/*)

pack_times=() cat_times=() ratios=() peaks=()
for ((run = 0; run <= runs; run++)); do
  # Each command starts with nothing of the last one's output left to write
  # back, so that neither pays for the other's writing.
  sync
  t0=$(now_ns)
  /usr/bin/time -f %M -o "$work/mem" "$packer" build --store --stub "$stub" -o "$work/out.exe" "$work/patch" >/dev/null
  t1=$(now_ns)
  sync
  t2=$(now_ns)
  /usr/bin/time -f %M -o "$work/mem-cat" sh -c 'out=$1; shift; exec cat "$@" >"$out"' sh "$work/cat.out" "$stub" "${payloads[@]}"
  t3=$(now_ns)
  [ "$run" -eq 0 ] && continue  # warm-up
  pack=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  cat=$(awk -v a="$t2" -v b="$t3" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
  pack_times+=("$pack") cat_times+=("$cat") peaks+=("$(cat "$work/mem")")
  ratios+=("$(awk -v p="$pack" -v c="$cat" 'BEGIN { printf "%.3f", c / p }')")
done
[ "$(stat -c %s "$work/out.exe")" -ge "$(stat -c %s "$work/cat.out")" ] || { echo "the installer is shorter than stub + payload" >&2; exit 1; }

p=$(median "${pack_times[@]}") c=$(median "${cat_times[@]}") r=$(median "${ratios[@]}") m=$(largest "${peaks[@]}")
printf 'payload %s MiB in %d file(s), %d runs: packer %.3f s, cat %.3f s (medians)\n' "$size_mib" "$files" "$runs" "$p" "$c"
printf 'packer speed / cat speed: %.2f (median of pairs; runs: %s)\n' "$r" "${ratios[*]}"
printf 'packer peak memory: %.1f MiB (largest of the runs)\n' "$(awk -v k="$m" 'BEGIN { print k / 1024 }')"
[ -n "${DATA:-}" ] && echo "$files $size_mib $p $c $r $m" >>"$DATA"
exit 0
