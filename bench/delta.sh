#!/usr/bin/env bash
# Patches between two versions of a game-shaped application, made by
# briskopack (diff, then build --from) and by the delta tools patch authors
# know: xdelta3 -e -9, zstd -19 --long=28 --patch-from and bsdiff, each run
# file by file over the files that changed or are new. Prints, in one run,
# the patch size, the time and the peak memory of making it, and a Markdown
# table for docs/performance.md.
#
# The corpus (made once into WORK/corpus, from files of this machine):
#   data/code.pak    v1: a tar archive of at least 100 MiB of Wine's 64-bit
#                    PE DLLs; v2: six members replaced by the 32-bit DLL of
#                    the same name, and one DLL inserted in the middle, so
#                    that every later offset shifts
#   game.exe         the zstd command line built for Windows with MinGW; v2
#                    rebuilt with another default level and more code linked
#                    in front, so that its addresses move
#   data/scripts.pak a tar of Perl's modules; v2 grown by a fifth, with a few
#                    modules edited
#   media/intro.bin  v2 only: 12 MiB of seeded pseudo-random bytes, as new
#                    already-compressed pictures are
#   data/unchanged.pak the same in both (diff leaves it out)
#
# Usage: bench/delta.sh [WORK]   (default build/bench-delta; after a native
# build; the installer's size uses build/win32/briskopatch-stub.exe when it
# has been built, else the packer's 32-bit test stub; applying needs the
# win64 build, or win32 with ARCH=x86)
#        bench/delta.sh large [WORK]   a 1 GiB pair instead (v2: 1 MiB
# inserted in the middle, 64 blocks of 4 KiB changed): build --from's time
# and peak memory
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
root=$PWD
work=$(realpath -m "${1:-build/bench-delta}")
pack=$root/build/native/tools/briskopack/briskopack
[ -x "$pack" ] || { echo "delta.sh: build the native preset first" >&2; exit 1; }
stub=$root/build/win32/briskopatch-stub.exe
[ -f "$stub" ] || stub=$root/build/native/tests/tools/stubs/stub32.exe
missing=()
for tool in xdelta3 bsdiff zstd openssl tar; do command -v "$tool" >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
wine64dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
wine32dlls=/usr/lib/i386-linux-gnu/wine/i386-windows

# A tar whose bytes depend only on the files' names and contents.
pack_tar() { tar --format=ustar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf "$1" -C "$2" .; }

make_code_archive() {
  local c=$1 staged=$work/staging n=0 total=0 f
  rm -rf "$staged" && mkdir -p "$staged/v1" "$staged/v2"
  for f in "$wine64dlls"/*.dll; do
    [ $total -ge $((112 << 20)) ] && break
    cp "$f" "$staged/v1/" && cp "$f" "$staged/v2/"
    total=$((total + $(stat -c %s "$f")))
    n=$((n + 1))
    # Every 40th member is replaced in v2, when a 32-bit one of its name exists.
    if [ $((n % 40)) -eq 20 ] && [ -f "$wine32dlls/${f##*/}" ]; then cp "$wine32dlls/${f##*/}" "$staged/v2/"; fi
  done
  # Inserted in the middle of the name order.
  local middle
  middle=$(ls "$staged/v1" | sed -n "$((n / 2))p")
  cp "$wine32dlls/user32.dll" "$staged/v2/${middle%.dll}_ex.dll"
  pack_tar "$c/v1/data/code.pak" "$staged/v1"
  pack_tar "$c/v2/data/code.pak" "$staged/v2"
  rm -rf "$staged"
}

# The zstd command line for Windows; with an argument, rebuilt as a newer
# version would be: another default level and more code in front.
build_program() {
  local out=$1 newer=${2:-} src=$root/build/deps/zstd objs=$work/objs${2:+-new} defs=()
  rm -rf "$objs" && mkdir -p "$objs"
  if [ -n "$newer" ]; then
    defs=(-DZSTDCLI_CLEVEL_DEFAULT=6)
    # Code linked in front of everything else.
    for i in $(seq 1 40); do
      printf 'int brisko_extra_%d(const unsigned char* p, int n) { int s = %d; for (int i = 0; i < n; ++i) s = s * 31 + (p[i] ^ %d); return s; }\n' "$i" "$i" "$i"
    done >"$objs/extra.c"
  fi
  find "$src/lib/common" "$src/lib/compress" "$src/lib/decompress" "$src/lib/dictBuilder" "$src/programs" -name '*.c' | sort |
    { [ -n "$newer" ] && echo "$objs/extra.c"; cat; } >"$objs/sources"
  xargs -P2 -I{} sh -c 'x86_64-w64-mingw32-gcc -O2 -w -DZSTD_LEGACY_SUPPORT=0 -DZSTD_DISABLE_ASM '"${defs[*]}"' -I'"$src"'/lib -I'"$src"'/lib/common -c "{}" -o "'"$objs"'/$(echo "{}" | md5sum | cut -c1-12).o"' <"$objs/sources"
  local ordered=()
  while read -r s; do ordered+=("$objs/$(echo "$s" | md5sum | cut -c1-12).o"); done <"$objs/sources"
  x86_64-w64-mingw32-gcc -s -o "$out" "${ordered[@]}"
  rm -rf "$objs"
}

make_text_archive() {
  local c=$1 staged=$work/staging-text all n
  rm -rf "$staged" && mkdir -p "$staged/v1" "$staged/v2"
  mapfile -t all < <(find /usr/share/perl -name '*.pm' | sort)
  n=$((${#all[@]} * 4 / 5))
  for ((i = 0; i < ${#all[@]}; i++)); do
    local name
    name=$(printf '%04d-%s' "$i" "${all[i]##*/}")
    cp "${all[i]}" "$staged/v2/$name"
    [ "$i" -lt "$n" ] && cp "${all[i]}" "$staged/v1/$name"
    # A few modules edited in v2.
    [ $((i % 50)) -eq 7 ] && sed -i 's/return/return # changed in v2:/; 1i # v2' "$staged/v2/$name"
  done
  pack_tar "$c/v1/data/scripts.pak" "$staged/v1"
  pack_tar "$c/v2/data/scripts.pak" "$staged/v2"
  rm -rf "$staged"
}

make_corpus() {
  local c=$work/corpus
  [ -f "$c/.done" ] && return
  echo "delta.sh: making the corpus in $c (once)" >&2
  rm -rf "$c" && mkdir -p "$c/v1/data" "$c/v2/data" "$c/v2/media"
  make_code_archive "$c"
  build_program "$c/v1/game.exe"
  build_program "$c/v2/game.exe" newer
  make_text_archive "$c"
  head -c $((12 << 20)) /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K 000102030405060708090a0b0c0d0e0f -iv 0 2>/dev/null >"$c/v2/media/intro.bin"
  cat "$wine32dlls"/d3d*.dll >"$c/v1/data/unchanged.pak"
  cp "$c/v1/data/unchanged.pak" "$c/v2/data/unchanged.pak"
  touch "$c/.done"
}

# Runs a command under /usr/bin/time; sets took (seconds) and peak (KiB).
measure() {
  local log=$work/time.log
  /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null
  read -r took peak <"$log"
}

# The changed and new files of v2 (what every tool patches).
patched_files() { (cd "$work/corpus/v2" && find . -type f | sed 's|^\./||' | sort) | while read -r f; do
  cmp -s "$work/corpus/v1/$f" "$work/corpus/v2/$f" || echo "$f"
done; }

# tool NAME: patches every changed or new file with tool_NAME OLD NEW OUT
# (OLD empty for a new file); sums sizes and times, keeps the largest peak.
run_tool() {
  local name=$1 size=0 time=0 most=0 f old out
  mkdir -p "$work/$name"
  while read -r f; do
    old=$work/corpus/v1/$f
    [ -f "$old" ] || old=$work/empty
    out=$work/$name/$(echo "$f" | tr / _)
    rm -f "$out"
    measure bash -c "tool_$name \"\$@\"" _ "$old" "$work/corpus/v2/$f" "$out"
    size=$((size + $(stat -c %s "$out")))
    time=$(awk -v a="$time" -v b="$took" 'BEGIN { print a + b }')
    [ "$peak" -gt "$most" ] && most=$peak
  done < <(patched_files)
  printf '%s %s %s %s\n' "$name" "$size" "$time" "$most" >>"$work/results"
}
tool_xdelta3() { if [ -s "$1" ]; then xdelta3 -e -9 -f -s "$1" "$2" "$3"; else xdelta3 -e -9 -f "$2" "$3"; fi; }
tool_zstd() {
  if [ -s "$1" ]; then zstd -q -19 --long=28 --patch-from="$1" "$2" -o "$3"; else zstd -q -19 --long=28 "$2" -o "$3"; fi
}
tool_bsdiff() { if [ -s "$1" ]; then bsdiff "$1" "$2" "$3"; else bsdiff "$(dirname "$3")/../one-byte" "$2" "$3"; fi; }
export -f tool_xdelta3 tool_zstd tool_bsdiff

# The 1 GiB pair: its patch folder names the new file straight away.
run_large() {
  local c=$work/large
  mkdir -p "$c/v1" "$c/patch/payload"
  if [ ! -f "$c/v2.done" ]; then
    head -c $((1 << 30)) /dev/zero |
      openssl enc -aes-128-ctr -nosalt -K 0f0e0d0c0b0a09080706050403020100 -iv 0 2>/dev/null >"$c/v1/big.pak"
    { head -c $((512 << 20)) "$c/v1/big.pak"; head -c $((1 << 20)) /dev/urandom; tail -c +$(((512 << 20) + 1)) "$c/v1/big.pak"; } \
      >"$c/patch/payload/big.pak"
    for i in $(seq 0 63); do
      head -c 4096 /dev/urandom | dd of="$c/patch/payload/big.pak" bs=4096 seek=$((i * 4099)) conv=notrunc status=none
    done
    touch "$c/v2.done"
  fi
  # diff of v1 with itself: nothing to patch, but the plain background.
  "$pack" diff "$c/v1" "$c/v1" -o "$c/template" >/dev/null
  cp "$c/template/background.bmp" "$c/patch/"
  printf '*PatchType\r\n\t1\r\n*Caption\r\n\tlarge\r\n*GameTitle\r\n\tlarge\r\n%%LinkPath\r\n\tl\\l.lnk\r\n%%%%\r\n%%CheckTargetFilename\r\n\tbig.pak\r\n%%%%\r\n%%OutFiles\r\n\tbig.pak\r\n%%%%\r\n' \
    >"$c/patch/script.txt"
  measure "$pack" build "$c/patch" --from "$c/v1" --stub "$stub" -o "$c/large.exe"
  echo "1 GiB pair: build --from $took s, peak $(awk -v k="$peak" 'BEGIN { printf "%.0f", k / 1024 }') MiB," \
    "installer $(stat -c %s "$c/large.exe") bytes"
}
if [ "${1:-}" = large ]; then
  work=$(realpath -m "${2:-build/bench-delta}")
  run_large
  exit 0
fi

make_corpus
: >"$work/empty"
printf '\0' >"$work/one-byte"  # bsdiff cannot map an empty file
: >"$work/results"

# Ours: the patch folder from the two versions, then the installer.
# Ours: the patch folder from the two versions, then the installer. Its
# make time is taken in pairs with xdelta3's (ours, then xdelta3, RUNS
# times, 3 unless said), as the other benchmarks do, so that the machine's
# drift hits both sides of the ratio alike; zstd and bsdiff, minutes slower,
# run once.
make_ours() {
  rm -rf "$work/patch" "$work/ours.exe"
  # The demo's script, whose target the apply run below sets up; diff
  # fills in its %OutFiles and keeps the rest.
  mkdir -p "$work/patch"
  cp samples/demo/patch.txt "$work/patch/script.txt"
  measure "$pack" diff "$work/corpus/v1" "$work/corpus/v2" -o "$work/patch"
  diff_took=$took diff_peak=$peak
  measure "$pack" build "$work/patch" --from "$work/corpus/v1" --stub "$stub" -o "$work/ours.exe"
  build_took=$took build_peak=$peak
}
ours_times=() xdelta_times=() ratios=()
for ((round = 0; round < ${RUNS:-3}; round++)); do
  make_ours
  ours_times+=("$(awk -v a="$diff_took" -v b="$build_took" 'BEGIN { print a + b }')")
  : >"$work/results"
  run_tool xdelta3
  xdelta_times+=("$(awk '{ print $3 }' "$work/results")")
  ratios+=("$(awk -v a="${ours_times[-1]}" -v b="${xdelta_times[-1]}" 'BEGIN { print a / b }')")
done
"$pack" build "$work/patch" --from "$work/corpus/v1" --stub "$stub" -o "$work/ours.exe" | sed 's/^/  /' >&2
ours_size=$(stat -c %s "$work/ours.exe")
ours_time=$(median "${ours_times[@]}")
ours_peak=$((diff_peak > build_peak ? diff_peak : build_peak))
xdelta_median=$(median "${xdelta_times[@]}")
sed -i "s/^xdelta3 \([0-9]*\) [0-9.]* /xdelta3 \1 $xdelta_median /" "$work/results"
for tool in zstd bsdiff; do run_tool "$tool"; done

# Applying, under Wine: the demo's target application holds v1, and ours is
# the installer built for ARCH (x64 unless said, so under wine64), timed from
# the Start click to its success message in pairs with `dd conv=fsync` of the
# patched files of v2 into the same folder, RUNS pairs after a warm-up. The
# folder is set back to v1 before every run. Sets apply_line.
apply_ours() {
  source scripts/xvfb.sh
  source bench/wine.sh
  local build launch exe settle=${SETTLE:-3} run a d f most=0 times=() dds=() ratios=()
  build=$(bench_build)
  launch=$build/bench/bench-launch.exe
  if [ ! -f "$launch" ]; then
    apply_line="Applying: not run (build the ${build#build/} preset first)"
    return 0
  fi
  exe=$work/ours-${ARCH:-x64}.exe
  "$pack" build "$work/patch" --from "$work/corpus/v1" --stub "$build/briskopatch-stub.exe" -o "$exe" >/dev/null
  start_wine_prefix
  trap 'stop_wine_prefix; stop_xvfb' EXIT
  start_xvfb
  set_up_demo_target "$build"
  for ((run = 0; run <= ${RUNS:-3}; run++)); do
    cp -a "$work/corpus/v1/." "$target_dir/"
    # The installer makes no folder: the new file's folder is there, empty,
    # as an installed application's folders are.
    rm -rf "$target_dir/media" "$target_dir"/x-*
    mkdir "$target_dir/media"
    sync
    time_apply "$exe" $((settle * 1000))
    a=$took_s
    most=$(awk -v a="$most" -v b="$peak_mib" 'BEGIN { print (b > a ? b : a) }')
    if [ "$run" -eq 0 ]; then
      while read -r f; do
        cmp -s "$work/corpus/v2/$f" "$target_dir/$f" || { echo "the installer made $f wrongly" >&2; exit 1; }
      done < <(patched_files)
    fi
    sleep "$settle"
    local t0 t1
    t0=$(now_ns)
    while read -r f; do
      dd if="$work/corpus/v2/$f" of="$target_dir/x-$(echo "$f" | tr / _)" bs=1M conv=fsync status=none
    done < <(patched_files)
    t1=$(now_ns)
    d=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
    [ "$run" -eq 0 ] && continue
    times+=("$a") dds+=("$d") ratios+=("$(awk -v a="$a" -v d="$d" 'BEGIN { printf "%.2f", a / d }')")
  done
  apply_line=$(printf 'Applying (%s, under Wine): %.2f s against dd %.2f s (medians), apply time / dd time %s (goal <= 2; pairs: %s); peak working set %.0f MiB, the installer'\''s mapped file included (goal <= 64)' \
    "${ARCH:-x64}" "$(median "${times[@]}")" "$(median "${dds[@]}")" "$(median "${ratios[@]}")" "${ratios[*]}" "$most")
}
apply_ours


new_bytes=$(patched_files | while read -r f; do stat -c %s "$work/corpus/v2/$f"; done | awk '{ s += $1 } END { print s }')
smallest=$(awk '{ print $2 }' "$work/results" | sort -n | head -n 1)
xdelta_time=$xdelta_median
echo
echo "Corpus: $(patched_files | wc -l) changed or new files, $(as_mib "$new_bytes") MiB in v2; stub $(basename "$stub") ($(stat -c %s "$stub") bytes)"
echo "Make time, ours against xdelta3 in ${#ratios[@]} pairs: median ratio $(median "${ratios[@]}") (each: ${ratios[*]})"
echo
echo "| tool | patch (MiB) | vs smallest tool | make (s) | vs xdelta3 | make peak (MiB) |"
echo "|---|---:|---:|---:|---:|---:|"
printf '| briskopack installer (`diff` + `build --from`) | %.3f | %.3f× | %.1f | %.2f× | %.0f |\n' \
  "$(as_mib "$ours_size")" "$(awk -v a="$ours_size" -v b="$smallest" 'BEGIN { print a / b }')" \
  "$ours_time" "$(median "${ratios[@]}")" "$(awk -v k="$ours_peak" 'BEGIN { print k / 1024 }')"
while read -r name size time peak; do
  label=$name
  case $name in
    xdelta3) label='`xdelta3 -e -9`' ;;
    zstd) label='`zstd -19 --long=28 --patch-from`' ;;
    bsdiff) label='`bsdiff`' ;;
  esac
  printf '| %s | %.3f | %.3f× | %.1f | %.2f× | %.0f |\n' "$label" "$(as_mib "$size")" \
    "$(awk -v a="$size" -v b="$smallest" 'BEGIN { print a / b }')" "$time" \
    "$(awk -v a="$time" -v b="$xdelta_time" 'BEGIN { print a / b }')" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
done <"$work/results"
echo
echo "$apply_line"
