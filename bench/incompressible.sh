#!/usr/bin/env bash
# What the packer spends on payloads that do not compress: a payload of
# random bytes built with the default compression, and as a patch made from
# an earlier version of other random bytes (diff, then build --from), each
# against `--store` of the same patch folder, RUNS times in turn after one
# warm-up. Prints the median times, the median of the pairwise time ratios,
# the installers' sizes and the peak memory (/usr/bin/time), and the goal:
# at most 3 times --store's time (taken as at least 1 s), the installer's
# size within 0.1 % of --store's.
#
#   bash bench/incompressible.sh [SIZE]      SIZE in MiB, default 256
#
# Environment: RUNS (default 3), PACKER, STUB. Run after a native and a
# win64 build. Needs about 5 x SIZE of disk space.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
size=$(size_bytes "${1:-256}")
runs=${RUNS:-3}
use_packer_and_stub "${PACKER:-build/native/tools/briskopack/briskopack}" "${STUB:-build/win64/briskopatch-stub.exe}" win64
scratch_folder briskopack-incompressible
make_patch "$work/patch" "$size" 1
# Two releases whose one file is random bytes in each, and the patch
# folder that diff makes of them.
mkdir -p "$work/v1" "$work/v2"
head -c "$size" /dev/urandom >"$work/v1/file0000.bin"
cp "$work/patch/payload/file0000.bin" "$work/v2/"
printf 'program' | tee "$work/v1/bench.exe" >"$work/v2/bench.exe"
"$packer" diff "$work/v1" "$work/v2" -o "$work/dpatch" >/dev/null
cp "$work/patch/background.bmp" "$work/dpatch/"

# run NAME ARGS...: one build, its seconds in $seconds and its peak memory
# (KiB) in $peak.
run() {
  local name=$1 t0 t1
  shift
  sync
  t0=$(now_ns)
  /usr/bin/time -f %M -o "$work/mem" "$packer" build --stub "$stub" -o "$work/$name.exe" "$@" >/dev/null
  t1=$(now_ns)
  seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  peak=$(cat "$work/mem")
}

printf '| payload (%s MiB of random bytes) | build | seconds | x --store (1 s floor) | installer bytes | x --store | peak MiB |\n' \
  "$(as_mib "$size")"
printf '|---|---|---|---|---|---|---|\n'
for mode in whole from; do
  if [ "$mode" = whole ]; then folder=$work/patch extra=(); else folder=$work/dpatch extra=(--from "$work/v1"); fi
  times=() stores=() ratios=() peaks=()
  for ((i = 0; i <= runs; i++)); do
    run store --store "$folder"
    store=$seconds
    run packed "$folder" "${extra[@]}"
    [ "$i" -eq 0 ] && continue  # warm-up
    times+=("$seconds") stores+=("$store") peaks+=("$peak")
    ratios+=("$(awk -v p="$seconds" -v s="$store" 'BEGIN { printf "%.3f", p / (s > 1 ? s : 1) }')")
  done
  packed_size=$(stat -c %s "$work/packed.exe") store_size=$(stat -c %s "$work/store.exe")
  label=$([ "$mode" = whole ] && echo "new file" || echo "new version of a file (--from)")
  build=$([ "$mode" = whole ] && echo "default" || echo "--from OLD")
  printf '| %s | %s | %s | %s | %s | %s | %.0f |\n' "$label" "$build" "$(median "${times[@]}")" \
    "$(median "${ratios[@]}")" "$packed_size" \
    "$(awk -v a="$packed_size" -v b="$store_size" 'BEGIN { printf "%.4f", a / b }')" \
    "$(awk -v k="$(largest "${peaks[@]}")" 'BEGIN { print k / 1024 }')"
  printf '| | --store | %s | 1 | %s | 1 | |\n' "$(median "${stores[@]}")" "$store_size"
done
echo
echo "goal: at most 3 x --store's time (1 s floor), the installer within 0.1 % of --store's size"
