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
# apt-get update, going on when only some index failed to download (a
# mirror in the middle of a sync): the install that follows says whether
# what it needs is there.
update_package_lists() {
  apt-get update -qq || echo "setup: some package lists could not be read; going on with the rest" >&2
}

# 32-bit Wine beside wine64: a prefix made by wine64 then runs both 32-bit
# and 64-bit programs, so the 32-bit installers are tested as they ship.
# The plain install first. When it fails (the i386 index of the security
# suite can lag behind the amd64 one, and apt then cannot pair the i386
# libraries with amd64 ones already upgraded from that suite), and only in
# CI (CI=true) or when asked (BRISKO_WINE32_RECIPE=1), the fallback: the
# security suite serves this machine's own architecture only, the main
# suite's versions are preferred (pin 1001), and the install may downgrade
# packages to them. Without 32-bit Wine the 32-bit tests report themselves
# skipped.
install_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' && return 0
  local native
  native=$(dpkg --print-architecture)
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  update_package_lists
  echo "setup: installing wine32:i386"
  apt-get install -y -qq wine32:i386 >/dev/null && return 0
  if [ "${CI:-}" != true ] && [ "${BRISKO_WINE32_RECIPE:-}" != 1 ]; then
    echo "setup: wine32:i386 could not be installed; the 32-bit tests will be skipped." >&2
    echo "setup: BRISKO_WINE32_RECIPE=1 bash scripts/setup.sh installs it from the main suite" \
      "(this downgrades packages upgraded from the security suite; see docs/building.md)" >&2
    return 0
  fi
  echo "setup: installing wine32:i386 from the main suite (downgrades packages to its versions)"
  local sources=/etc/apt/sources.list.d/debian.sources codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  # In the security suite's entry (a deb822 paragraph), only this
  # architecture.
  [ -f "$sources" ] && perl -00 -pi -e "s/(\n*)\z/\nArchitectures: $native\$1/ if /^URIs:.*security/m && !/^Architectures:/mi" \
    "$sources"
  printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$codename" \
    >/etc/apt/preferences.d/briskopatch-wine32
  update_package_lists
  apt-get install -y -qq --allow-downgrades wine32:i386 >/dev/null ||
    echo "setup: wine32:i386 could not be installed; the 32-bit tests will be skipped." >&2
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  update_package_lists
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
install_wine32

# Wine takes file names and arguments from the C library's locale: without
# these every Japanese path would be silently lost.
have=$(locale -a 2>/dev/null || true)
grep -qi '^ja_JP\.utf8$' <<<"$have" || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
grep -qi '^en_US\.utf8$' <<<"$have" || localedef -i en_US -f UTF-8 en_US.UTF-8
grep -qi '^zh_CN\.utf8$' <<<"$have" || localedef -i zh_CN -f UTF-8 zh_CN.UTF-8

# The source packages that the builds compile themselves (zstd).
bash "$(dirname "$0")/fetch-sources.sh"
exit 0
