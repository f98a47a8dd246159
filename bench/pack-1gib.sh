#!/usr/bin/env bash
# Peak memory of briskopack with a 1 GiB payload: builds an installer around a
# sparse 1 GiB file, lists it (which hashes the payload), extracts it, and has
# a 1.6 GiB payload refused; reports each step's maximum resident set size
# from /usr/bin/time -v. The packer streams payloads through a 1 MiB buffer,
# so the peaks should stay at a few MiB whatever the payload's size.
#
# Not part of the tests. Run after a native build:
#   cmake --preset native && cmake --build --preset native
#   bash bench/pack-1gib.sh [PACKER] [STUB]
# Needs about 3 GiB of free disk space in $TMPDIR for the outputs.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
use_packer_and_stub "${1:-build/native/tools/briskopack/briskopack}" "${2:-build/native/tests/tools/stubs/stub32.exe}" native
scratch_folder briskopack-bench
cd "$work"

mkdir -p patch/payload
printf '%s\r\n' '*PatchType' $'\t1' '*Caption' $'\tbench' '*GameTitle' $'\tbench' \
  '%LinkPath' $'\tbench\\bench.lnk' '%%' '%CheckTargetFilename' $'\tbench.exe' '%%' \
  '%OutFiles' $'\tbig.bin' '%%' >patch/script.txt
{
  printf 'BM\066\076\010\000\000\000\000\000\066\000\000\000\050\000\000\000'
  printf '\130\002\000\000\054\001\000\000\001\000\030\000\000\000\000\000'
  printf '\000\076\010\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
  head -c 540000 /dev/zero
} >patch/background.bmp
truncate -s 1G patch/payload/big.bin  # sparse: reads as zeros, takes no disk space

peak() {  # LABEL COMMAND...: runs the command, prints its peak memory and time
  local label=$1 rc=0
  shift
  /usr/bin/time -v "$@" >/dev/null 2>time.txt || rc=$?
  local kib elapsed
  kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.txt)
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' time.txt)
  printf '%-44s exit %d  peak %6.1f MiB  %s\n' "$label" "$rc" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$elapsed"
}

echo "payload: $(stat -c %s patch/payload/big.bin) bytes"
peak "build (1 GiB payload)" "$packer" build --store --stub "$stub" -o out.exe patch
echo "installer: $(stat -c %s out.exe) bytes"
peak "list (hashes the payload)" "$packer" list out.exe
peak "build over the packed installer" "$packer" build --store --stub out.exe -o again.exe patch
rm -f again.exe
peak "extract" "$packer" extract out.exe extracted
rm -rf extracted out.exe
truncate -s 1600M patch/payload/big.bin
peak "build (1.6 GiB payload, refused)" "$packer" build --store --stub "$stub" -o too-big.exe patch
