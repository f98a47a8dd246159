#!/usr/bin/env bash
# Draws the demo's installer icon in the colours of its background: an
# evening sky on a rounded tile with the moon and the hills, at the sizes
# Windows shows a program's icon in (256 x 256 as a PNG, 48, 32 and 16 as
# 32-bit bitmaps). Usage: make-icon.sh OUT.ico
set -euo pipefail
out=$1
convert -size 256x256 xc:none \
  \( -size 240x240 gradient:'#1b2a5c-#e8925a' \
     \( -size 240x240 xc:black -fill white -draw 'roundrectangle 0,0 239,239 44,44' \) \
     -alpha off -compose CopyOpacity -composite \) -geometry +8+8 -compose Over -composite \
  -fill '#fff3c4' -draw 'circle 176,96 176,62' \
  -fill '#3b2f52' -draw 'polygon 8,200 8,168 70,150 140,164 200,140 247,156 247,200' \
  -fill '#2a2240' -draw 'path "M 8,200 L 8,184 L 90,170 L 170,186 L 247,174 L 247,203 A 44,44 0 0,1 203,247 L 52,247 A 44,44 0 0,1 8,203 Z"' \
  -depth 8 -define icon:auto-resize=256,48,32,16 "ICO:$out"
