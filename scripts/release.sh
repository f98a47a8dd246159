#!/usr/bin/env bash
# The release archives: builds the native, win32 and win64 presets, then has
# CPack make build/release/briskopatch-VERSION-linux-x86_64.tar.gz (the Linux
# packer with both installer stubs) and briskopatch-VERSION-windows-x64.zip
# (the Windows packer with both stubs), and lists what each holds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-presets.sh native win32 win64
rm -rf build/release
for preset in native win64; do
  cpack --config "build/$preset/CPackConfig.cmake" -B build/release/cpack-$preset >/dev/null
  mv build/release/cpack-$preset/briskopatch-* build/release/
  rm -rf build/release/cpack-$preset
done
for archive in build/release/briskopatch-*; do
  echo "== $archive"
  cmake -E tar tf "$archive" | grep -v '/$'
done
