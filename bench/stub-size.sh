#!/usr/bin/env bash
# Size of the installer stubs and where their bytes go, for the 32-bit and
# the 64-bit build. Run after a build of the win32 and win64 presets. Prints
# each stub's size against the limit that the stub_size test holds it to,
# its sections, and the input files (objects and library members) that give
# the most bytes, read from the link map that the build writes beside the
# stub. Exits 1 when a stub is over the limit.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib.sh
limit=$(sed -n 's/^set(BRISKO_STUB_SIZE_LIMIT \([0-9]*\))$/\1/p' src/win32/CMakeLists.txt)
top=${TOP:-15}
status=0

for arch in win32:i686 win64:x86_64; do
  IFS=: read -r preset triplet <<<"$arch"
  stub=build/$preset/briskopatch-stub.exe
  if [ ! -f "$stub" ]; then
    echo "$stub: not built (cmake --build --preset $preset)" >&2
    status=1
    continue
  fi
  size=$(stat -c %s "$stub")
  echo "== $stub: $size bytes ($((size * 100 / limit))% of the $limit-byte limit)"
  echo "   sections:"
  while read -r _ name hex _; do printf "   %-10s %8d\n" "$name" "$((16#$hex))"; done < <("$triplet-w64-mingw32-objdump" -h "$stub" | grep -E "^ *[0-9]+ ")
  map=build/$preset/briskopatch-stub.map
  if [ -f "$map" ]; then
    echo "   largest inputs (*.ltrans*.o: the installer's own code after link-time optimisation):"
    map_contributors "$map" | sort -rn | head -n "$top" | awk '{ printf "%8d  %s\n", $1, $2 }' | sed 's/^/   /'
  fi
  # Compiled with one section per function and per table, so the sections
  # of the libraries' objects name them with their sizes.
  echo "   largest functions and tables of the installer's own code (before link-time optimisation):"
  "$triplet-w64-mingw32-objdump" -h "build/$preset/src/core/libbrisko_core.a" "build/$preset/src/win32/libbrisko_win32.a" |
    awk '$2 ~ /^\.(text|rdata|data)\$/ { n = $3; v = 0; for (i = 1; i <= length(n); i++) v = v * 16 + index("0123456789abcdef", tolower(substr(n, i, 1))) - 1; name = $2; sub(/^[^$]*\$/, "", name); print v, name }' |
    sort -rn | head -n "$top" | c++filt | awk '{ printf "   %8d  %s\n", $1, substr($0, length($1) + 2) }' | cut -c1-120
  if [ "$size" -gt "$limit" ]; then
    echo "   over the limit" >&2
    status=1
  fi
done
exit $status
