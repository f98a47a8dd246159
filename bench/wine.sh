# Helpers for the benchmarks that run the installer under Wine (sourced,
# after scripts/xvfb.sh). One private prefix serves a whole call, its
# wineserver kept running, so that only the first program pays for making it.
# The prefix is made by wine64 and runs 32-bit programs too (wine32).

# The build folder of the architecture that ARCH names: x64 (the default,
# build/win64) or x86 (build/win32). The installer, its helpers and the
# yardsticks all come from it.
bench_build() {
  case ${ARCH:-x64} in
    x64) echo build/win64 ;;
    x86) echo build/win32 ;;
    *) echo "ARCH is x86 or x64, not $ARCH" >&2; return 2 ;;
  esac
}

# Checks that the native packer $1, the stub $2 and the helpers of the build
# folder $3 (bench-launch.exe, demo-target.exe) are built; stops the
# benchmark if not.
need_wine_programs() {
  [ -x "$1" ] || { echo "no packer at $1: build the native preset first" >&2; exit 2; }
  for program in "$2" "$3/bench/bench-launch.exe" "$3/demo-target.exe"; do
    [ -f "$program" ] || { echo "no $program: build the ${3#build/} preset first" >&2; exit 2; }
  done
}

# Makes the prefix, exports WINEPREFIX and the locale (Japanese, code page
# 932, as scripts/wine-run.sh gives the tests) and starts its wineserver.
start_wine_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/brisko-bench-wine.XXXXXX")
  export WINEPREFIX LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  /usr/lib/wine/wineserver -p
}

# Ends the prefix's programs and server and removes it.
stop_wine_prefix() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

# BUILD: installs the demo's target application (C:\Games\ブリスコ物語 with
# its check file and Start-menu shortcut; BUILD's demo-target.exe) and the
# font substitute that scripts/demo.sh sets, so that an installer with the
# demo's script finds its folder and opens as it would for a user. Sets
# target_dir to the folder's path on this side.
set_up_demo_target() {
  bash scripts/wine-run.sh "$1/demo-target.exe" >/dev/null 2>&1
  bash scripts/wine-run.sh reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
  target_dir=$WINEPREFIX/drive_c/Games/ブリスコ物語
  [ -f "$target_dir/brisko.exe" ] || { echo "the demo's target application was not set up" >&2; return 1; }
}

# The path under which Windows programs in the prefix see a file of this side.
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}

# Runs the installer $1 with bench-launch (its path in $launch) from the
# Start click to its success message, Start pressed $2 ms after the window
# is ready; sets took_s (seconds) and peak_mib (the installer's peak working
# set: its own memory and the pages of its file that it read, which the
# mapped payload's are; Wine does not count the heap in the peak private
# memory that it reports). Fails unless the installer reports success.
time_apply() {
  local out ms working
  out=$(bash scripts/wine-run.sh "$launch" apply "$(windows_path "$1")" "${2:-0}" | tr -d '\r') || return 1
  read -r ms _ working <<<"$out"
  took_s=$(awk -v ms="$ms" 'BEGIN { printf "%.4f", ms / 1000 }')
  peak_mib=$(awk -v k="${working:-0}" 'BEGIN { printf "%.1f", k / 1024 }')
}
