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
