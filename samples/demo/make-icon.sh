#!/usr/bin/env bash
# Draws the demo's installer icon in the colours of its background: the moon
# and the hills on a rounded night-blue tile, at the sizes Windows shows a
# program's icon in (256, 48, 32 and 16 pixels). Each image is a PNG of 16
# colours with transparency, as Windows reads icons since Vista: the whole
# icon is about 2 KB, where 32-bit bitmaps would take 20 KB of a patch that
# is otherwise a few KB. Usage: make-icon.sh OUT.ico
set -euo pipefail
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=(256 48 32 16)
for size in "${sizes[@]}"; do
  convert -size 256x256 xc:none \
    -fill '#1b2a5c' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#fff3c4' -draw 'circle 176,96 176,62' \
    -fill '#3b2f52' -draw 'polygon 8,200 8,168 70,150 140,164 200,140 247,156 247,200' \
    -resize "${size}x${size}" -colors 16 -define png:compression-level=9 -strip "PNG8:$work/$size.png"
done

# Little-endian fields of the icon file's header and directory.
le() {  # VALUE BYTES
  local value=$1 bytes=$2 i
  for ((i = 0; i < bytes; i++)); do printf "\\$(printf '%03o' $(((value >> (8 * i)) & 255)))"; done
}
{
  le 0 2 && le 1 2 && le "${#sizes[@]}" 2
  offset=$((6 + 16 * ${#sizes[@]}))
  for size in "${sizes[@]}"; do
    bytes=$(stat -c %s "$work/$size.png")
    le $((size % 256)) 1 && le $((size % 256)) 1 && le 0 1 && le 0 1  # width, height (0: 256), colours, reserved
    le 1 2 && le 32 2 && le "$bytes" 4 && le "$offset" 4             # planes, bits, size, offset
    offset=$((offset + bytes))
  done
  for size in "${sizes[@]}"; do cat "$work/$size.png"; done
} >"$out"
