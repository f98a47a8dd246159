#!/usr/bin/env bash
# End-to-end test of the briskopack command line: builds installers from a
# patch folder over every test stub, checks each output with binutils'
# objdump, lists and extracts it again, and feeds the packer every kind of
# bad input. With --wine the packer is the Windows build run under Wine,
# and Wine's loader checks every output's resources (--rescheck).
#
#   cli_test.sh --stubs DIR --objdump32 TOOL --objdump64 TOOL --work DIR
#               [--windres TOOL] [--wine WINE_RUN --rescheck RESCHECK.exe] -- PACKER
#
# --windres reads back the icon and the version record that build writes.
set -u
source "$(dirname "$0")/lib.sh"

stubs= objdump32= objdump64= work= windres= wine= rescheck=
read_options stubs objdump32 objdump64 work windres wine rescheck -- "$@"
packer=${ARGS[0]}

enter_empty_folder "$work"
if [ -n "$wine" ]; then
  use_private_wine_prefix
  # Creates the prefix quietly; a packer that this Wine cannot run (a 32-bit
  # one without 32-bit Wine) makes the whole test skipped.
  "$wine" "$packer" --version >/dev/null 2>wine-probe.txt
  [ $? = 77 ] && { cat wine-probe.txt; exit 77; }
fi

pack() {
  if [ -n "$wine" ]; then "$wine" "$packer" "$@"; else "$packer" "$@"; fi
}

# expect CODE ARGS...: runs the packer; its output goes to out.txt and err.txt.
expect() {
  local want=$1
  shift
  capture pack "$@"
  local got=$?
  [ "$got" = "$want" ] || fail "briskopack $*: exit $got, expected $want: $(head -3 err.txt)"
}

# A bad input: the exit code, exactly one line on stderr that begins with the
# program's name and contains the file and the cause, and no file left behind.
expect_refusal() {
  local want=$1 message=$2 output=$3
  shift 3
  local before
  before=$(ls -A | grep -v -e '^out\.' -e '^err\.')
  expect "$want" "$@"
  [ "$(wc -l <err.txt)" = 1 ] || fail "briskopack $*: stderr is not one line: $(cat err.txt)"
  grep -q "^briskopack: .*$message" err.txt || fail "briskopack $*: expected '$message', got: $(cat err.txt)"
  [ -z "$output" ] || [ ! -e "$output" ] || fail "briskopack $*: left $output behind"
  [ "$(ls -A | grep -v -e '^out\.' -e '^err\.')" = "$before" ] || fail "briskopack $*: left files behind"
}

le32() {
  local v=$1
  printf "\\$(printf %03o $((v & 255)))\\$(printf %03o $((v >> 8 & 255)))"
  printf "\\$(printf %03o $((v >> 16 & 255)))\\$(printf %03o $((v >> 24 & 255)))"
}

bitmap() {  # WIDTH HEIGHT: an uncompressed 24-bit bitmap file
  local w=$1 h=$2
  local size=$((((w * 3 + 3) / 4 * 4) * h))
  printf 'BM'; le32 $((54 + size)); le32 0; le32 54; le32 40; le32 "$w"; le32 "$h"
  printf '\001\000\030\000'; le32 0; le32 "$size"; le32 0; le32 0; le32 0; le32 0
  head -c "$size" /dev/zero | tr '\0' '\142'
}

hyou=$'\x95\x5c'  # 表 in Shift-JIS; its second byte is a backslash
script_lines=(
  '*PatchType' $'\t1' '' '%LinkPath' $'\tMaker\\Title\\Title.lnk' '%%' ''
  '*Caption' $'\tTitle patch 1.0' '' '*GameTitle' $'\tTitle' '*Version' '1.0' ''
  '%CheckTargetFilename' $'\ttarget.exe' '%%' ''
  '%OutFiles' $'\tdata.bin' '' $'\tsub\\readme.txt' $'\t'"$hyou"'\x.txt' '%%')
mkdir -p patch/payload/sub patch/payload/表
printf '%s\r\n' "${script_lines[@]}" >patch/script.txt
bitmap 600 300 >patch/background.bmp
head -c 300000 /dev/urandom >patch/payload/data.bin
printf 'read me\r\n' >patch/payload/sub/readme.txt
printf 'in a Japanese folder' >patch/payload/表/x.txt
cp patch/payload/表/x.txt x3.txt  # an ASCII name for the Windows-side checker
for s in stub32 stub64 stubpkg32 stubpkg64; do cp "$stubs/$s.exe" .; done

# objdump_check EXE OBJDUMP BACKGROUND_SIZE: binutils must read the image and
# the resource tree without complaint and see exactly the package and the
# kept resources.
objdump_check() {
  local exe=$1 objdump=$2 background=$3
  "$objdump" -p "$exe" >dump.txt 2>dump.err || fail "$exe: objdump -p failed"
  [ ! -s dump.err ] || fail "$exe: objdump -p complains: $(head -3 dump.err)"
  grep -qi 'corrupt' dump.txt && fail "$exe: objdump finds the resource directory corrupt"
  # Each named resource with its leaf's size, from the printed tree, in
  # directory order: the types BIN, TEXT, ZSTD.
  awk '/Entry: name:.*Value/ { name = $0; sub(/.*\]: /, "", name); sub(/, Value.*/, "", name) }
       /Entry: ID:.*Value: 0x8/ { name = "#" }
       /Leaf: Addr:/ { size = $6; sub(/,$/, "", size); print name, size }' dump.txt |
    while read -r name size; do echo "$name $((size))"; done >leaves.txt
  local expected
  expected=$(printf '%s\n' \
    "RESOURCE_FILE0 $(stat -c %s patch/payload/data.bin)" \
    "RESOURCE_FILE2 $(stat -c %s patch/payload/sub/readme.txt)" \
    "RESOURCE_FILE3 $(stat -c %s patch/payload/表/x.txt)" \
    "RESOURCE_SCRIPT $(stat -c %s patch/script.txt)" \
    "RESOURCE_BACKGROUND $background")
  [ "$(grep RESOURCE_ leaves.txt)" = "$expected" ] ||
    fail "$exe: objdump sees the package as: $(grep RESOURCE_ leaves.txt | tr '\n' ';')"
  for kept in OTHER KEEP; do grep -q "^$kept " leaves.txt || fail "$exe: resource $kept lost"; done

  # The resource directory is the last section, aligned, and SizeOfImage
  # ends with it.
  local base rva size image last
  base=$((0x$(awk '/^ImageBase/ { print $2 }' dump.txt)))
  read -r rva size < <(awk '/^Entry 2 / { print $3, $4 }' dump.txt)
  rva=$((0x$rva)) size=$((0x$size))
  image=$((0x$(awk '/^SizeOfImage/ { print $2 }' dump.txt)))
  last=$("$objdump" -h "$exe" | awk '/^ *[0-9]+ / { l = $0 } END { print l }')
  read -r _ name _ vma _ off _ <<<"$last"
  [ "$name" = .rsrc ] || fail "$exe: the last section is $name"
  [ $((0x$vma - base)) = "$rva" ] || fail "$exe: directory 2 does not point at the new section"
  [ $((0x$off % 512)) = 0 ] || fail "$exe: the new section's data is not file-aligned"
  [ $((rva % 4096)) = 0 ] || fail "$exe: the new section is not section-aligned"
  [ "$image" = $((rva + (size + 4095) / 4096 * 4096)) ] || fail "$exe: SizeOfImage $image is wrong"
}

echo "== lint"
expect 0 lint patch
[ ! -s out.txt ] || fail "lint reports on a clean patch: $(cat out.txt)"

for s in stub32 stub64 stubpkg32 stubpkg64; do
  echo "== $s"
  expect 0 build --stub "$s.exe" -o "$s-out.exe" patch
  expect 0 list "$s-out.exe"
  cp out.txt "$s-list.txt"
  case $s in *32) objdump=$objdump32 ;; *) objdump=$objdump64 ;; esac
  stored=$(sed -n 's/^background: 540054 bytes (stored compressed in \([0-9]*\)), 600 x 300, sha256 .*/\1/p' out.txt)
  [ -n "$stored" ] || fail "$s: list does not show the background compressed: $(grep background out.txt)"
  objdump_check "$s-out.exe" "$objdump" "$stored"
  expect 0 lint "$s-out.exe"

  for f in data.bin sub/readme.txt; do
    grep -q "$(sha256sum "patch/payload/$f" | cut -c1-64)" "$s-list.txt" || fail "$s: list lacks the SHA-256 of $f"
  done
  grep -q '^  1  (blank entry)$' "$s-list.txt" || fail "$s: list does not show the blank entry"
  grep -q '^  \*Caption = Title patch 1.0$' "$s-list.txt" || fail "$s: list does not show *Caption"
  grep -q '^  3  表\\x.txt  20 bytes' "$s-list.txt" || fail "$s: list does not show the Japanese name in UTF-8"

  expect 0 extract "$s-out.exe" "$s-extracted"
  diff -r patch "$s-extracted" >/dev/null || fail "$s: the extracted patch folder differs"
done

echo "== build over a packed installer"
expect 0 build --stub stub64-out.exe -o again.exe --script patch/script.txt --background patch/background.bmp \
  --payload patch/payload
cmp -s again.exe stub64-out.exe || fail "packing an installer again changed it"

echo "== compressed and raw payloads"
cp -r patch patchz
for i in $(seq 2000); do printf 'line %d of a file that compresses\r\n' "$i"; done >patchz/payload/sub/readme.txt
expect 0 build --stub stub64.exe -o z.exe patchz
expect 0 list z.exe
grep -q "sub.readme.txt  $(stat -c %s patchz/payload/sub/readme.txt) bytes (stored compressed in [0-9]*)  sha256" out.txt ||
  fail "list does not show the compressed payload's sizes: $(grep readme out.txt)"
grep -q 'data.bin  300000 bytes  sha256' out.txt || fail "random data is not stored raw: $(grep data.bin out.txt)"
expect 0 extract z.exe z-extracted
diff -r patchz z-extracted >/dev/null || fail "the extracted compressed patch folder differs"
expect 0 build --store --stub stub64.exe -o zraw.exe patchz
expect 0 list zraw.exe
grep -q 'stored compressed' out.txt && fail "--store compressed a payload or the background"
grep -q '^background: 540054 bytes, 600 x 300, sha256' out.txt || fail "--store: $(grep background out.txt)"
for bad in --compress=0 --compress=23 --compress=x; do expect 4 build "$bad" --stub stub64.exe -o bad.exe patchz; done
expect 4 build --compress --store --stub stub64.exe -o bad.exe patchz

echo "== two versions: diff, build --from, list, extract --from"
mkdir -p v1 v2/sub
head -c 200000 /dev/urandom >v1/game.exe
cp v1/game.exe v2/game.exe
printf 'patched' | dd of=v2/game.exe bs=1 seek=1000 conv=notrunc status=none
printf 'same' >v1/same.txt
cp v1/same.txt v2/same.txt
printf 'a new file' >v2/sub/new.txt
expect 0 diff v1 v2 -o dpatch
for line in 'changed   game.exe  200000 -> 200000 bytes' 'unchanged same.txt  4 bytes' 'added     sub\new.txt  10 bytes'; do
  grep -qF "$line" out.txt || fail "diff does not report '$line': $(cat out.txt)"
done
# Only the warning that v1 lacks sub, which the installer does not make.
expect 1 lint dpatch --from v1
[ "$(grep -vc 'v1.sub does not exist: the installer makes no folder' out.txt)" = 0 ] ||
  fail "lint reports on diff's patch folder: $(cat out.txt)"
expect 0 build --stub stub64.exe -o delta.exe dpatch --from v1
grep -q 'game.exe  200000 bytes: delta against 1 version' out.txt || fail "build --from: $(cat out.txt)"
expect 0 list delta.exe
for f in v2/game.exe v1/game.exe v2/sub/new.txt; do
  grep -q "$(sha256sum "$f" | cut -c1-64)" out.txt || fail "list lacks the SHA-256 of $f: $(cat out.txt)"
done
expect 0 extract delta.exe delta-extracted --from v1
cmp -s delta-extracted/payload/game.exe v2/game.exe || fail "extract --from does not rebuild game.exe"
cmp -s delta-extracted/payload/sub/new.txt v2/sub/new.txt || fail "extract --from does not give sub/new.txt"
expect_refusal 3 'no file given with --from is a version it was made from' '' extract delta.exe nowhere
# The same destination twice, in another letter case: refused as a lint error.
cp -r dpatch dup
cp dup/payload/game.exe dup/payload/GAME.EXE
sed -i 's/^\tgame\.exe\r$/&\n\tGAME.EXE\r/' dup/script.txt
expect 2 build --stub stub64.exe -o dup.exe dup --from v1
grep -q 'script.txt:[0-9]*: error: the output name "GAME.EXE" names the same file as line' err.txt ||
  fail "build --from does not refuse a destination named twice: $(cat err.txt)"
[ ! -e dup.exe ] || fail "build --from wrote an installer with a destination named twice"
expect 2 lint dup --from v1

echo "== icon and version record"
# A patch made by diff has a version record of comments alone: the stub's
# own record stays.
expect 0 list delta.exe
grep -q '^version record: file 1.2.3.4, ' out.txt || fail "diff's commented record replaced the stub's: $(grep -A1 version out.txt)"
cp -r patch patchi
cp "$stubs/icon.ico" patchi/icon.ico  # 16 x 16 alone
printf '%s\n' '# the record' 'product: Title' 'company: Maker' 'description: Title patch 1.0' 'version: 1.0.2.3' \
  'copyright: (C) Maker' >patchi/version.txt
expect 1 lint patchi
grep -q 'icon.ico: warning: the icon has no image of 32 x 32, 48 x 48, 256 x 256' out.txt ||
  fail "lint does not report the icon's missing sizes: $(cat out.txt)"
for s in stub32 stub64; do
  expect 0 build --stub "$s.exe" -o "$s-icon.exe" patch --icon patchi/icon.ico --version-info patchi/version.txt
  expect 0 list "$s-icon.exe"
  for line in 'icon: 16 x 16 32 bits' 'version record: file 1.0.2.3, product 1.0.2.3, language 0411, code page 1200' \
    '  ProductName: Title' '  CompanyName: Maker' '  FileDescription: Title patch 1.0' '  FileVersion: 1.0.2.3' \
    '  ProductVersion: 1.0.2.3' '  LegalCopyright: (C) Maker'; do
    grep -qxF "$line" out.txt || fail "$s: list does not show '$line': $(sed -n '/^icon/,/^payload/p' out.txt)"
  done
  if [ -n "$windres" ]; then
    "$windres" -J coff -i "$s-icon.exe" -O rc >"$s-icon.rc" 2>windres.err || fail "$s: windres: $(cat windres.err)"
    for line in '"MAINICON" 14 /\* RT_GROUP_ICON \*/' 'FILEVERSION 1, 0, 2, 3' 'PRODUCTVERSION 1, 0, 2, 3' \
      'BLOCK "041104B0"' 'VALUE "ProductName", "Title"' 'VALUE "FileDescription", "Title patch 1.0"' \
      'VALUE "Translation", 0x411, 1200'; do
      grep -q "^ *$line" "$s-icon.rc" || fail "$s: windres does not read '$line'"
    done
    [ "$(grep -c VERSIONINFO "$s-icon.rc")" = 1 ] || fail "$s: the stub's version record is still there"
  fi
done
expect 0 build --stub stub64.exe -o folder-icon.exe patchi
cmp -s folder-icon.exe stub64-icon.exe || fail "the patch folder's icon.ico and version.txt differ from the options"
printf 'not an icon' >patchi/icon.ico
expect 2 build --stub stub64.exe -o bad-icon.exe patchi
grep -q 'icon.ico: error: not a valid icon file' err.txt || fail "build does not refuse a bad icon: $(cat err.txt)"

echo "== bad input"
printf 'not a program at all, just text that is long enough to be read as one' >notpe.exe
head -c 2000 stub64.exe >truncated.exe
printf 'old' >keep.exe
printf '%s\r\n' '*PatchType' '1' '%OutFiles' 'x' '%%' >broken.txt
mkdir -p full && echo x >full/file
expect_refusal 3 'notpe.exe: not a Windows program' new.exe build --stub notpe.exe -o new.exe patch
expect_refusal 3 'truncated.exe: truncated' new.exe build --stub truncated.exe -o new.exe patch
expect_refusal 3 'nothere.exe: no such file' new.exe build --stub nothere.exe -o new.exe patch
expect_refusal 3 'missing.txt: no such file' new.exe build --stub stub32.exe -o new.exe --script missing.txt patch
expect_refusal 3 'script.txt: is not a folder' new.exe build --stub stub32.exe -o new.exe \
  --payload patch/script.txt patch
expect_refusal 3 'does not exist' nodir/new.exe build --stub stub32.exe -o nodir/new.exe patch
expect_refusal 3 'patch: cannot write: it is a folder' '' build --stub stub32.exe -o patch patch
expect_refusal 3 'notpe.exe: not a Windows program' '' build --stub notpe.exe -o keep.exe patch
[ "$(cat keep.exe)" = old ] || fail "a failed build changed the existing output"
expect_refusal 3 'stub32.exe: carries no patch package' '' list stub32.exe
expect_refusal 3 'full: folder is not empty' '' extract stub32-out.exe full
expect_refusal 3 'truncated.exe: truncated' '' list truncated.exe
expect 2 build --stub stub32.exe -o new.exe --script broken.txt patch
grep -q 'broken.txt: error: no %LinkPath section' err.txt || fail "build does not show lint errors: $(cat err.txt)"
[ ! -e new.exe ] || fail "a build with lint errors wrote its output"
expect 2 lint broken.txt
expect 4 frobnicate
printf '%s\r\n' "${script_lines[@]}" | sed 's/^\t1\r$/\t0\r/' >type0.txt
expect 1 lint type0.txt
grep -q 'type0.txt:2: warning: \*PatchType is 0' out.txt || fail "lint warning missing: $(cat out.txt)"

if [ -n "$wine" ]; then
  # The Windows packer where the ANSI code page is 1252 and the console's 437,
  # neither of which holds Japanese: names come out in UTF-8 redirected, in
  # UTF-16 to a console, and Japanese arguments reach it.
  echo "== Unicode under en_US.UTF-8"
  english() { LC_ALL=en_US.UTF-8 "$wine" "$packer" "$@"; }
  cp z.exe 日本語.exe
  english list 日本語.exe >unicode.txt 2>&1 || fail "list 日本語.exe under en_US: $(head -3 unicode.txt)"
  grep -q '^日本語.exe: PE32+' unicode.txt || fail "list does not name 日本語.exe: $(head -1 unicode.txt)"
  grep -q '表\\x.txt' unicode.txt || fail "list redirected does not show 表\\x.txt in UTF-8"
  mkdir -p jv1 jv2/表
  printf 'new' >jv2/表/新しい.txt
  english diff jv1 jv2 -o jpatch >unicode.txt 2>&1
  grep -q '^added     表\\新しい.txt  3 bytes' unicode.txt || fail "diff does not show the Japanese name: $(cat unicode.txt)"
  # A real console: Wine gives a program one when it runs on a terminal, and
  # writes what reaches the console as the terminal's UTF-8.
  if command -v script >/dev/null; then
    script -qec "$(printf '%q ' env LC_ALL=en_US.UTF-8 "$wine" "$packer" list 日本語.exe)" /dev/null >console.raw 2>&1
    # Without Wine's cursor and erase sequences.
    sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' console.raw | tr -d '\r' >console.txt
    grep -q '3  表\\x.txt  20 bytes' console.txt || fail "list on a console does not show 表\\x.txt: $(grep x.txt console.txt)"
  else
    echo "no script(1) to give the packer a terminal: the console is not checked"
  fi
fi

if [ -n "$rescheck" ]; then
  echo "== Wine's loader"
  package=(TEXT RESOURCE_SCRIPT patch/script.txt ZSTD RESOURCE_BACKGROUND - BMP RESOURCE_BACKGROUND '!'
    BIN RESOURCE_FILE0 patch/payload/data.bin BIN RESOURCE_FILE1 '!' BIN RESOURCE_FILE2 patch/payload/sub/readme.txt
    BIN RESOURCE_FILE3 x3.txt BIN RESOURCE_FILE7 '!'
    '#14' '#1' - '#16' '#1' - '#24' '#1' - '#10' MYDATA - BIN OTHER - ME KEEP -)
  for s in stub64 stubpkg64; do
    # The packed checker checks its own resources: the image must load and run.
    "$wine" "./$s-out.exe" --checksum "$s-out.exe" "${package[@]}" >wine.txt 2>&1 ||
      fail "$s-out.exe under Wine: $(tr -d '\r' <wine.txt)"
  done
  for s in stub32 stubpkg32; do
    "$wine" "$rescheck" --module "$s-out.exe" --checksum "$s-out.exe" "${package[@]}" >wine.txt 2>&1 ||
      fail "$s-out.exe loaded by Wine: $(tr -d '\r' <wine.txt)"
  done
  # The icon and the version record as Windows reads them: an image of the
  # icon's one size picked from the group, and the record's strings.
  for s in stub32 stub64; do
    "$wine" "$rescheck" --module "$s-icon.exe" --icon MAINICON 16 --version ProductName Title \
      --version FileDescription 'Title patch 1.0' --version FileVersion 1.0.2.3 >wine.txt 2>&1 ||
      fail "$s-icon.exe read by Wine: $(tr -d '\r' <wine.txt)"
  done
fi

[ $status = 0 ] && echo "all command-line checks passed"
exit $status
