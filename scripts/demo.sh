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

# A private Wine prefix holding the demo's target application: a folder with
# its check file and a Start-menu shortcut to it, so that the demo installer
# finds the folder by itself (scripts/demo-target.cpp).
demo_prefix=$PWD/build/demo-wine
x86_64-w64-mingw32-g++-posix -O2 -static -s -o build/win64/demo-target.exe scripts/demo-target.cpp \
  -lole32 -luuid -lshell32
rm -rf "$demo_prefix"
WINEPREFIX=$demo_prefix LC_ALL=ja_JP.UTF-8 bash scripts/wine-run.sh build/win64/demo-target.exe 2>/dev/null
echo "Demo prefix: $demo_prefix (start the demo installer in it with"
echo "  WINEPREFIX=$demo_prefix bash scripts/wine-run.sh build/win64/briskopatch-demo.exe)"
