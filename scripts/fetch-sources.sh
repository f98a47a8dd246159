#!/usr/bin/env bash
# Fetches the source packages that the builds compile themselves, from
# Debian's own archive, into build/deps/ (never into the repository):
#
#   build/deps/zstd   zstd, for the installers' decoder (MinGW), and for the
#                     packer's multithreaded encoder (Debian's static
#                     libzstd.a is built without threads, and there is no
#                     MinGW package at all)
#   build/deps/divsufsort
#                     libdivsufsort, the suffix sorter of the packer's delta
#                     matching; compiled into the packer of every build (no
#                     MinGW package; and a Linux packer linked with Debian's
#                     shared library would need it on the author's machine)
#
# The versions are pinned, so every build compiles the same code; README
# and docs/building.md name them. Safe to run again: a source already unpacked is kept.
set -euo pipefail
cd "$(dirname "$0")/.."

# package=version  folder
sources=(
  "libzstd=1.5.4+dfsg2-5 zstd"
  "libdivsufsort=2.0.1-5 divsufsort"
)

# apt-get source needs deb-src entries; Debian's own images ship only
# binary ones. Added once, for the release this machine runs.
enable_source_index() {
  local list=/etc/apt/sources.list.d/briskopatch-src.sources
  [ -f "$list" ] && return 0
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
  cat >"$list" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  # An index of another architecture or suite that fails to download must
  # not stop this: apt-get source below says whether the one needed came.
  apt-get update -qq || echo "fetch-sources: some package indexes were not updated" >&2
}

mkdir -p build/deps
for entry in "${sources[@]}"; do
  read -r spec folder <<<"$entry"
  [ -f "build/deps/$folder/.fetched" ] && grep -qxF "$spec" "build/deps/$folder/.fetched" && continue
  enable_source_index
  work=$(mktemp -d build/deps/.fetch.XXXXXX)
  echo "fetch-sources: $spec"
  # dpkg-source applies Debian's patches while unpacking.
  (cd "$work" && apt-get source -qq "$spec" >/dev/null 2>&1) ||
    (cd "$work" && apt-get source "$spec")
  unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$unpacked" ] || { echo "fetch-sources: $spec: nothing unpacked" >&2; exit 1; }
  rm -rf "build/deps/$folder"
  mv "$unpacked" "build/deps/$folder"
  echo "$spec" >"build/deps/$folder/.fetched"
  rm -rf "$work"
done
