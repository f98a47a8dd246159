# Helpers shared by the benchmark scripts (sourced).

# A patch folder in DIR whose payload is FILES files (default 1) sharing
# SIZE bytes of random data, with a script that names them in %OutFiles.
# The rest of the script is taken from SCRIPT_TEMPLATE when set (a script
# whose %OutFiles section is replaced), else a minimal one.
make_patch() {
  local dir=$1 size=$2 files=${3:-1} i each
  rm -rf "$dir"
  mkdir -p "$dir/payload"
  each=$((size / files))
  {
    if [ -n "${SCRIPT_TEMPLATE:-}" ]; then
      LC_ALL=C sed -e '/^%OutFiles/,/^%%/d' "$SCRIPT_TEMPLATE"
    else
      printf '%s\r\n' '*PatchType' $'\t1' '*Caption' $'\tbench' '*GameTitle' $'\tbench' \
        '%LinkPath' $'\tbench\\bench.lnk' '%%' '%CheckTargetFilename' $'\tbench.exe' '%%'
    fi
    printf '%%OutFiles\r\n'
    for ((i = 0; i < files; i++)); do printf '\tfile%04d.bin\r\n' "$i"; done
    printf '%%%%\r\n'
  } >"$dir/script.txt"
  if [ -n "${BACKGROUND:-}" ]; then
    cp "$BACKGROUND" "$dir/background.bmp"
  else
    {
      printf 'BM\066\076\010\000\000\000\000\000\066\000\000\000\050\000\000\000'
      printf '\130\002\000\000\054\001\000\000\001\000\030\000\000\000\000\000'
      printf '\000\076\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
      head -c 540000 /dev/zero
    } >"$dir/background.bmp"
  fi
  if [ "$files" -eq 1 ]; then
    head -c "$size" /dev/urandom >"$dir/payload/file0000.bin"
  else
    for ((i = 0; i < files; i++)); do head -c "$each" /dev/urandom >"$dir/payload/$(printf 'file%04d.bin' "$i")"; done
  fi
}

# A payload size given as MiB ("512") or KiB ("64k") in bytes.
size_bytes() {
  case $1 in
    *[kK]) echo $((${1%[kK]} << 10)) ;;
    *) echo $(($1 << 20)) ;;
  esac
}

# Bytes as MiB, for tables ("0.0625", "512").
as_mib() { awk -v b="$1" 'BEGIN { printf "%g", b / 1048576 }'; }

# Nanoseconds since the epoch.
now_ns() { date +%s%N; }

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The largest of the numbers given.
largest() { printf '%s\n' "$@" | sort -g | tail -n 1; }

# Checks that the packer PACKER and the stub STUB are built (STUB by the
# preset PRESET) and that GNU time is at hand; stops the benchmark if not.
need_packer_and_stub() {
  [ -x "$1" ] || { echo "no packer at $1: build the native preset first" >&2; exit 2; }
  [ -f "$2" ] || { echo "no stub at $2: build the $3 preset first" >&2; exit 2; }
  [ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install time" >&2; exit 2; }
}

# use_packer_and_stub PACKER STUB PRESET: sets $packer and $stub to their
# absolute paths, checked as above.
use_packer_and_stub() {
  packer=$(realpath -m "$1")
  stub=$(realpath -m "$2")
  need_packer_and_stub "$packer" "$stub" "$3"
}

# scratch_folder NAME: a folder of its own in $TMPDIR as $work, removed when
# the script exits.
scratch_folder() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# A patch-shaped corpus of about 154 MiB in DIR, made only of files that a
# set-up machine has, the same on every run:
#   code.pak     90 MiB: Wine's 64-bit PE DLLs, whole, in name order, as one
#                uncompressed archive (a game's code archive)
#   script.pak   24 MiB: C headers, as one archive (a script archive)
#   game.exe     Wine's wined3d.dll (a rebuilt executable)
#   ipag.ttf, ipam.ttf   the IPA fonts
#   pic1..4.png  4 x 4 MiB of seeded random bytes (already-compressed media)
make_corpus() {
  local dir=$1 dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows i
  mkdir -p "$dir"
  archive_of() {  # LIMIT_BYTES FILES... : the first files, in order, up to the limit
    local limit=$1 total=0 f size
    shift
    for f in "$@"; do
      size=$(stat -c %s "$f")
      [ $((total + size)) -gt "$limit" ] && break
      total=$((total + size))
      printf '%s\n' "$f"
    done | tar --create --file=- --files-from=- --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner \
      --absolute-names 2>/dev/null
  }
  archive_of $((90 << 20)) $(find "$dlls" -maxdepth 1 -name '*.dll' | LC_ALL=C sort) >"$dir/code.pak"
  archive_of $((24 << 20)) $(find /usr/include -type f -name '*.h' | LC_ALL=C sort) >"$dir/script.pak"
  cp "$dlls/wined3d.dll" "$dir/game.exe"
  cp /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf /usr/share/fonts/opentype/ipafont-mincho/ipam.ttf "$dir/"
  for i in 1 2 3 4; do
    # The cipher runs until head has enough and closes the pipe.
    { openssl enc -aes-128-ctr -nosalt -K "0$i$(printf '%030d' 0)" -iv "$(printf '%032d' 0)" </dev/zero 2>/dev/null ||
      true; } | head -c $((4 << 20)) >"$dir/pic$i.png"
  done
}

# Prints "BYTES FILE" for each input file of a GNU ld map, the bytes it gives
# to the image (debug sections are stripped from the stubs and not counted;
# the import tables' pieces of the system's import libraries count as
# "imports").
map_contributors() {
  awk '
    /^Linker script and memory map/ { live = 1; next }
    !live { next }
    /^ \.[^ ]+$/ { pending = $1; next }
    /^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ / { add($1, $3, $4); pending = ""; next }
    pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]+$/ { add(pending, $2, $3); pending = ""; next }
    { pending = "" }
    function add(section, hex, file,   v, i, h) {
      if (section ~ /^\.debug/) return
      sub(/^.*\//, "", file)
      if (section ~ /^\.idata/) file = "imports"
      v = 0; h = tolower(substr(hex, 3))
      for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
      bytes[file] += v
    }
    END { for (f in bytes) if (bytes[f] > 0) print bytes[f], f }
  ' "$1"
}
