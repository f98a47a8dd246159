#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian machine.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make googletest libgmock-dev file
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb x11-apps imagemagick locales fonts-ipafont
  clang clang-format libclang-rt-dev osslsigncode openssl dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes file names and arguments from the C library's locale: without
# these every Japanese path would be silently lost.
have=$(locale -a 2>/dev/null || true)
grep -qi '^ja_JP\.utf8$' <<<"$have" || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
grep -qi '^en_US\.utf8$' <<<"$have" || localedef -i en_US -f UTF-8 en_US.UTF-8
grep -qi '^zh_CN\.utf8$' <<<"$have" || localedef -i zh_CN -f UTF-8 zh_CN.UTF-8

# The source packages that the builds compile themselves (zstd).
bash "$(dirname "$0")/fetch-sources.sh"
exit 0
