#!/bin/sh
# Writes a 16x16, 32 bits per pixel icon file to $1 (octal escapes, so that
# any POSIX printf will do).
set -e
{
  printf '\000\000\001\000\001\000'                       # ICONDIR: one image
  printf '\020\020\000\000\001\000\040\000'               # 16x16, 1 plane, 32 bpp
  printf '\150\004\000\000\026\000\000\000'               # 1128 bytes at offset 22
  printf '\050\000\000\000\020\000\000\000\040\000\000\000' # BITMAPINFOHEADER, height 2x16
  printf '\001\000\040\000\000\000\000\000\000\004\000\000'
  printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
  i=0
  while [ $i -lt 256 ]; do printf '\060\140\340\377'; i=$((i + 1)); done
  i=0
  while [ $i -lt 16 ]; do printf '\000\000\000\000'; i=$((i + 1)); done
} > "$1"
