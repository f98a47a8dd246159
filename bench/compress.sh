#!/usr/bin/env bash
# Compressed installers against the field, on one patch-shaped corpus of
# about 168 MiB (make_corpus in bench/lib.sh: PE DLLs, C headers, fonts,
# seeded random "pictures"), all in one run:
#
#   size, build time and peak memory of
#     - our installer, payloads compressed (the packer's default), and raw
#       (--store, for reference)
#     - zstd -19 --long=27 -T2 and xz -9 -T2 of one tar of the same files
#     - an NSIS installer with SetCompressor /SOLID lzma (Debian's nsis; its
#       stub is 32-bit)
#   applying under wine64: our compressed and raw installers from the Start
#   click to the success message (bench-launch.exe apply) against
#   `dd bs=1M conv=fsync` of the unpacked files into the same folder, RUNS
#   pairs after one warm-up; and the NSIS installer's silent install (/S)
#   when this machine's Wine runs 32-bit programs.
#
# Prints Markdown tables (the one in docs/performance.md comes from here)
# and the goals: size at most 1.05x NSIS's, build time at most half of
# NSIS's, applying compressed payloads at least 0.7x dd of the unpacked
# bytes, raw at least 0.95x.
#
#   bash bench/compress.sh
#
# Environment: ARCH (x64, the default, or x86: the build whose stub and
# bench-launch.exe are used), RUNS (default 3), SETTLE (seconds before each
# writer, default 3, see bench/apply-speed.sh), PACKER, STUB. Run after a
# native and a Windows build; installs nsis, xz-utils, zstd and time when
# missing. Needs about 2 GiB of disk in build/bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
source scripts/xvfb.sh
source bench/wine.sh
runs=${RUNS:-3}
settle=${SETTLE:-3}
case ${ARCH:-x64} in
  x64) build=build/win64 ;;
  x86) build=build/win32 ;;
  *) echo "ARCH is x64 or x86" >&2; exit 2 ;;
esac
packer=$(realpath -m "${PACKER:-build/native/tools/briskopack/briskopack}")
stub=$(realpath -m "${STUB:-$build/briskopatch-stub.exe}")
launch=$build/bench/bench-launch.exe
need_wine_programs "$packer" "$stub" "$build"
missing=()
for tool in makensis:nsis xz:xz-utils zstd:zstd /usr/bin/time:time; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

work=$(realpath -m build/bench/compress)
rm -rf "$work/out" "$work/patch"
mkdir -p "$work/out"
[ -f "$work/corpus/pic4.png" ] || make_corpus "$work/corpus"
files=$(cd "$work/corpus" && ls | LC_ALL=C sort)

# The patch folder: the demo's script naming every file of the corpus, so
# that the installer finds the demo's target application.
mkdir -p "$work/patch/payload"
cp "$work"/corpus/* "$work/patch/payload/"
{
  LC_ALL=C sed -e '/^%OutFiles/,/^%%/d' samples/demo/patch.txt
  printf '%%OutFiles\r\n'
  for f in $files; do printf '\t%s\r\n' "$f"; done
  printf '%%%%\r\n'
} >"$work/patch/script.txt"
background=$(find "$build" -path '*demo/background.bmp' | head -n 1)
[ -n "$background" ] || { echo "no demo background in $build: build it first" >&2; exit 2; }
cp "$background" "$work/patch/background.bmp"
(cd "$work/corpus" && tar --create --file="$work/out/corpus.tar" --sort=name --mtime=@0 --owner=0 --group=0 $files)
unpacked=$(cat "$work"/corpus/* | wc -c)

# Runs a command under /usr/bin/time; records NAME's output size, seconds
# and peak memory (MiB).
declare -A size seconds memory
measure() {
  local name=$1 output=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$work/out/time" "$@" >/dev/null 2>"$work/out/$name.log" ||
    { cat "$work/out/$name.log" >&2; exit 1; }
  read -r seconds[$name] kib <"$work/out/time"
  memory[$name]=$((kib / 1024))
  size[$name]=$(stat -c %s "$output")
}

cat >"$work/out/nsis.nsi" <<NSI
Unicode true
Name "bench"
OutFile "$work/out/nsis.exe"
SetCompressor /SOLID lzma
RequestExecutionLevel user
InstallDir "\$TEMP\\bench"
Section
  SetOutPath \$INSTDIR
  File /r "$work/corpus/*"
SectionEnd
NSI

measure ours "$work/out/ours.exe" "$packer" build --stub "$stub" -o "$work/out/ours.exe" "$work/patch"
measure raw "$work/out/raw.exe" "$packer" build --store --stub "$stub" -o "$work/out/raw.exe" "$work/patch"
measure zstd "$work/out/corpus.tar.zst" zstd -q -f -19 --long=27 -T2 "$work/out/corpus.tar" -o "$work/out/corpus.tar.zst"
measure xz "$work/out/corpus.tar.xz" xz -q -f -k -9 -T2 "$work/out/corpus.tar"
measure nsis "$work/out/nsis.exe" makensis -V1 "$work/out/nsis.nsi"

echo "corpus: $(as_mib "$unpacked") MiB in $(wc -w <<<"$files") files"
echo
echo "| what | size (bytes) | size / NSIS | build (s) | build / NSIS | peak memory (MiB) |"
echo "|---|---:|---:|---:|---:|---:|"
for name in ours raw zstd xz nsis; do
  case $name in
    ours) label="briskopatch, compressed (default: level 20, window 128 MiB)" ;;
    raw) label="briskopatch, --store" ;;
    zstd) label="zstd -19 --long=27 -T2 (tar)" ;;
    xz) label="xz -9 -T2 (tar)" ;;
    nsis) label="NSIS 3, SetCompressor /SOLID lzma" ;;
  esac
  awk -v l="$label" -v s="${size[$name]}" -v ns="${size[nsis]}" -v t="${seconds[$name]}" -v nt="${seconds[nsis]}" \
    -v m="${memory[$name]}" 'BEGIN { printf "| %s | %d | %.3f | %.1f | %.2f | %d |\n", l, s, s / ns, t, t / nt, m }'
done

# ---- applying under wine64 ---------------------------------------------
start_wine_prefix
trap 'stop_wine_prefix; stop_xvfb' EXIT
start_xvfb
set_up_demo_target "$build"

clean_target() { (cd "$target_dir" && rm -f $files x-*); }

dd_s() {
  local t0 t1 f
  sleep "$settle"
  t0=$(now_ns)
  for f in $files; do dd if="$work/corpus/$f" of="$target_dir/x-$f" bs=1M conv=fsync status=none; done
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'
}

echo
echo "| installer | applying (s, median) | dd (s, median) | speed / dd (median) | pairs | peak working set (MiB) |"
echo "|---|---:|---:|---:|---|---:|"
for name in ours raw; do
  ratios=() times=() dds=() most=0
  for ((run = 0; run <= runs; run++)); do
    clean_target
    sync
    time_apply "$work/out/$name.exe" $((settle * 1000))
    a=$took_s
    most=$(awk -v a="$most" -v b="$peak_mib" 'BEGIN { print (b > a ? b : a) }')
    if [ "$run" -eq 0 ]; then
      for f in $files; do cmp -s "$work/corpus/$f" "$target_dir/$f" || { echo "$name wrote $f wrongly" >&2; exit 1; }; done
    fi
    clean_target
    sync
    d=$(dd_s)
    [ "$run" -eq 0 ] && continue
    times+=("$a") dds+=("$d") ratios+=("$(awk -v a="$a" -v d="$d" 'BEGIN { printf "%.2f", d / a }')")
  done
  printf '| %s | %.2f | %.2f | %.2f | %s | %.0f |\n' "$name" "$(median "${times[@]}")" "$(median "${dds[@]}")" \
    "$(median "${ratios[@]}")" "${ratios[*]}" "$most"
done
clean_target

# NSIS's installer is 32-bit: it runs only where Wine runs 32-bit programs.
nsis_target='C:\bench-nsis'
t0=$(now_ns)
if WINEDEBUG=-all wine "$work/out/nsis.exe" /S "/D=$nsis_target" >/dev/null 2>&1; then
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "| NSIS (silent, from process start) | %.2f | | | | |\n", (b - a) / 1e9 }'
else
  echo "| NSIS | not run: this Wine does not run 32-bit programs | | | | |"
fi
