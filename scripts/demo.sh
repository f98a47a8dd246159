#!/usr/bin/env bash
# The main job: builds everything and reports what was built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
echo "Built:"
find build/native build/win32 build/win64 -maxdepth 4 -type f \( -name '*.exe' -o -perm -u+x \) \
  -not -path '*/googletest/*' -not -path '*/CMakeFiles/*' -print | sort
