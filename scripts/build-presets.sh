#!/usr/bin/env bash
# Installs what is missing, then configures and builds each preset named on
# the command line, with every core. Shared by the demo, test and release
# scripts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in "$@"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
