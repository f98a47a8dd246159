#!/usr/bin/env bash
# Runs a Windows program under Wine in a private, throw-away prefix with the
# Japanese locale (ANSI code page 932), as CTest's emulator for the Windows
# builds. The prefix is made by wine64, which hands 32-bit programs to the
# 32-bit loader (wine32) in the same prefix. A caller may pin WINEPREFIX and
# LC_ALL itself.
#
# A 32-bit program where Wine cannot run one (no 32-bit loader, or a kernel
# that does not run 32-bit code) is not run: the script says why and exits
# 77, which CTest reports as skipped. `wine-run.sh
# --has-wine32` only asks: 0 when Wine runs 32-bit programs here, else the
# reason and 77.
set -u
wine32_loader=/usr/lib/wine/wine

# Why Wine cannot run 32-bit programs here; nothing when it can.
no_wine32() {
  if [ ! -x "$wine32_loader" ]; then
    echo "no 32-bit loader ($wine32_loader; the package wine32:i386, which scripts/setup.sh installs)"
  elif ! "$wine32_loader" --version >/dev/null 2>&1; then
    echo "this kernel does not run 32-bit programs ($wine32_loader: $("$wine32_loader" --version 2>&1 | tail -n 1))"
  fi
}

# The machine field of a PE image's file header ("014c" for x86), or nothing
# for a file that is no PE image.
pe_machine() {
  local header
  [ -f "$1" ] || return 0
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$header" ] && od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

if [ "${1:-}" = --has-wine32 ]; then
  reason=$(no_wine32)
  [ -z "$reason" ] && exit 0
  echo "Wine cannot run 32-bit programs here: $reason" >&2
  exit 77
fi
if [ "$(pe_machine "${1:-}")" = 014c ]; then
  reason=$(no_wine32)
  if [ -n "$reason" ]; then
    echo "SKIPPED: Wine cannot run the 32-bit $(basename "$1") here: $reason" >&2
    exit 77
  fi
fi

export LC_ALL=${LC_ALL:-ja_JP.UTF-8}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEDEBUG=${WINEDEBUG:--all}
own_prefix=
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/brisko-wine.XXXXXX)
  export WINEPREFIX
  own_prefix=1
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
"$wine" "$@"
rc=$?
if [ -n "$own_prefix" ]; then
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
exit $rc
