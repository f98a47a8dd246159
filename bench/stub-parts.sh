#!/usr/bin/env bash
# Where a stub's bytes go, by part of the installer: its sources compiled as
# the stub compiles them but without link-time optimisation (which would
# melt them into one object), linked with the stub's layout, and each input
# file's bytes in the image (from the link map) summed by part. The parts
# add up to the size of that unoptimised link; the shipped stub, optimised
# across parts, is smaller by the last line's difference.
#
#   bash bench/stub-parts.sh            the 64-bit stub (build/win64)
#   PRESET=win32 bash bench/stub-parts.sh
#
# Run after a build of that preset (it takes the objects' flags, the
# resources and the start-up objects from it). Prints a Markdown table.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
preset=${PRESET:-win64}
case $preset in
  win64) triplet=x86_64-w64-mingw32 underscore= ;;
  win32) triplet=i686-w64-mingw32 underscore=_ ;;
  *) echo "PRESET is win64 or win32" >&2; exit 2 ;;
esac
build=build/$preset
stub_dir=$build/src/win32/CMakeFiles/briskopatch_stub.dir
code_dir=$build/src/win32/CMakeFiles/brisko_installer_code.dir
zstd_dir=$build/src/core/CMakeFiles/brisko_zstd_decoder.dir
[ -f "$build/briskopatch-stub.exe" ] || { echo "$build/briskopatch-stub.exe: build the $preset preset first" >&2; exit 1; }
out=$build/stub-parts
rm -rf "$out" && mkdir -p "$out"

# The flags the stub's objects are compiled with, less link-time optimisation.
flags() { sed -n "s/^$1 = //p" "$2/flags.make" | sed 's/-flto//g'; }
cxx="$(flags CXX_DEFINES "$code_dir") $(flags CXX_FLAGS "$code_dir")"
cc="$(flags C_DEFINES "$zstd_dir") $(flags C_FLAGS "$zstd_dir")"
compile() {  # compiler flags include-rsp source object
  "$1" $2 "@$3" -c "$4" -o "$5"
}
for src in $(git ls-files 'src/core/*.cpp' 'src/win32/*.cpp' | grep -v '/lean_'); do
  compile "$triplet-g++-posix" "$cxx" "$code_dir/includes_CXX.rsp" "$src" "$out/$(echo "$src" | tr / _).o" &
  while [ "$(jobs -r | wc -l)" -ge 2 ]; do sleep 0.1; done
done
for src in $(sed -n 's/^.*: \(\/[^ ]*\.c\)$/\1/p' "$zstd_dir/build.make" | sort -u); do
  compile "$triplet-gcc-posix" "$cc" "$zstd_dir/includes_C.rsp" "$src" "$out/zstd_$(basename "$src").o" &
  while [ "$(jobs -r | wc -l)" -ge 2 ]; do sleep 0.1; done
done
wait

early=()
for symbol in malloc free memchr memcmp memcpy memmove memset strlen wcslen wcsnlen; do
  early+=("-Wl,--undefined=$underscore$symbol")
done
gcc_dir=$(dirname "$("$triplet-g++-posix" -print-libgcc-file-name)")
"$triplet-g++-posix" -Os -static -static-libgcc -static-libstdc++ -mwindows -s -Wl,--gc-sections \
  -Wl,-T,"$build/installer.ld" -nostartfiles "$gcc_dir/crtbegin.o" "$gcc_dir/crtend.o" "${early[@]}" \
  "$out"/*.o "$stub_dir"/lean_start.cpp.obj "$stub_dir"/lean_runtime.cpp.obj "$build"/src/win32/briskopatch_stub.res.o \
  -L"${gcc_dir%-posix}-win32" -lole32 -lshell32 -luuid -lgdi32 -luser32 -lkernel32 -ladvapi32 \
  -Wl,-Map,"$out/parts.map" -o "$out/parts.exe"

map_contributors "$out/parts.map" >"$out/files.txt"

# Each file's part.
part_of() {
  case $1 in
    zstd_*) echo "zstd decoder" ;;
    src_core_payload_delta*|src_core_payload_sha256*) echo "delta applier and SHA-256" ;;
    src_core_payload_*|src_core_picture_stored*) echo "payload readers" ;;
    src_core_apply_*|src_win32_win_file_system*|src_win32_read_ahead*) echo "applying: plan, transaction, files" ;;
    src_core_window_layout*|src_win32_main_window*|src_win32_application_window*|src_win32_window_class*|src_win32_win_user_interface*|src_win32_win_worker*) echo "window, dialogs and worker" ;;
    src_core_form_main*) echo "the form (start-up, folder check, start action)" ;;
    src_core_discovery_*|src_win32_win_registry*|src_win32_win_shell_*|src_win32_win_environment*|src_win32_win_target*) echo "discovery" ;;
    src_core_script_*) echo "script reader" ;;
    src_core_picture_*) echo "bitmap decoder" ;;
    src_core_text_*|src_win32_wide_text*|src_win32_win_locale*|src_core_errors*|src_core_platform*|src_core_format_*) echo "texts, locale, errors" ;;
    imports|dll) echo "imports and relocations" ;;
    *.res.o) echo "resources (icon, manifest, version)" ;;
    src_win32_*) echo "other Windows layer" ;;
    *) echo "runtime (start-up, C and C++ runtime pieces)" ;;
  esac
}
declare -A sum
total=0
while read -r bytes file; do
  p=$(part_of "$file")
  sum[$p]=$(( ${sum[$p]:-0} + bytes ))
  total=$((total + bytes))
done <"$out/files.txt"
stub=$(stat -c %s "$build/briskopatch-stub.exe")
unoptimised=$(stat -c %s "$out/parts.exe")
echo "| part ($preset) | bytes |"
echo "|---|---:|"
for p in "${!sum[@]}"; do printf '| %s | %d |\n' "$p" "${sum[$p]}"; done | sort -t'|' -k3 -rn
printf '| **sum of the parts** (the unoptimised link: %d bytes in the file, with section padding) | %d |\n' "$unoptimised" "$total"
printf '| the shipped stub, optimised across parts | %d (%d fewer) |\n' "$stub" $((unoptimised - stub))
