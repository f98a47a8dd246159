#!/usr/bin/env bash
# Size of the installer stubs: the whole file and its sections, for the
# 32-bit and the 64-bit build. Run after a build of the win32 and win64
# presets. The target is to stay below 400 KiB for the 32-bit stub, which
# carries the standard library statically; the script says when a stub is
# over its target and exits 1 then.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for arch in win32:i686:409600 win64:x86_64:409600; do
  IFS=: read -r preset triplet limit <<<"$arch"
  stub=build/$preset/briskopatch-stub.exe
  if [ ! -f "$stub" ]; then
    echo "$stub: not built (cmake --build --preset $preset)" >&2
    status=1
    continue
  fi
  size=$(stat -c %s "$stub")
  echo "== $stub: $size bytes (target: under $limit)"
  while read -r _ name hex _; do printf "   %-10s %8d\n" "$name" "$((16#$hex))"; done < <("$triplet-w64-mingw32-objdump" -h "$stub" | grep -E "^ *[0-9]+ ")
  if [ "$size" -ge "$limit" ]; then
    echo "   over target" >&2
    status=1
  fi
done
exit $status
