#!/usr/bin/env bash
# Makes the seed inputs of the PE harnesses: two tiny stubs (32 and 64 bits,
# no C runtime, one resource of their own) and installers that the packer
# made from them, with a raw and a compressed payload.
# Usage: make-pe-seeds.sh BRISKOPACK
set -euo pipefail
cd "$(dirname "$0")"
pack=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/tiny.c" <<'C'
int entry(void) { return 0; }
C
printf '1 RCDATA { "seed" }\n' >"$work/tiny.rc"
for arch in i686 x86_64; do
  "$arch-w64-mingw32-windres" "$work/tiny.rc" -O coff -o "$work/tiny-$arch.res.o"
  extra="-e _entry"
  [ "$arch" = x86_64 ] && extra="-e entry -Wl,--dynamicbase"
  # shellcheck disable=SC2086
  "$arch-w64-mingw32-gcc" -Os -nostdlib -s $extra -o "$work/stub-$arch.exe" \
    "$work/tiny.c" "$work/tiny-$arch.res.o"
done

mkdir -p "$work/patch/payload/sub"
printf '*PatchType\r\n1\r\n*Caption\r\nseed\r\n%%LinkPath\r\nMaker\\Title.lnk\r\n%%%%\r\n%%CheckTargetFilename\r\ngame.exe\r\n%%%%\r\n%%OutFiles\r\ndata.bin\r\n\r\nsub\\more.bin\r\n%%%%\r\n' \
  >"$work/patch/script.txt"
cp corpus/bitmap/24bit-2x2 "$work/patch/background.bmp"
printf 'payload' >"$work/patch/payload/data.bin"
# One payload that compression makes smaller, stored compressed; the other
# stays raw.
for i in 1 2 3 4 5 6 7 8; do printf 'more of the same line %d\r\n' "$i"; done >"$work/patch/payload/sub/more.bin"

for arch in i686 x86_64; do
  cp "$work/stub-$arch.exe" "corpus/pe_writer/stub-$arch.exe"
  "$pack" build --stub "$work/stub-$arch.exe" -o "corpus/pe_reader/installer-$arch.exe" "$work/patch" >/dev/null 2>&1
done
# An installer is a stub too: building over it replaces its package.
cp corpus/pe_reader/installer-x86_64.exe corpus/pe_writer/installer-x86_64.exe
ls -l corpus/pe_reader corpus/pe_writer
