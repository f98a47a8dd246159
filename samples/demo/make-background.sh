#!/usr/bin/env bash
# Draws the demo's background picture: 600 x 300 pixels, 24 bits per pixel,
# an evening-sky gradient with the title, and a lighter strip at the bottom
# behind the installer's field and buttons. Usage: make-background.sh OUT.bmp
set -euo pipefail
out=$1
font=IPAPGothic
convert -size 600x300 gradient:'#1b2a5c-#e8925a' \
  -fill '#fff3c4' -draw 'circle 470,170 470,136' \
  -fill '#3b2f52' -draw 'polygon 0,232 0,196 90,172 190,188 300,160 420,186 520,170 599,182 599,232' \
  -fill '#2a2240' -draw 'polygon 0,232 0,214 130,196 260,212 380,198 500,214 599,204 599,232' \
  -fill '#f6f0e6d0' -draw 'rectangle 0,232 599,299' \
  -font "$font" -fill '#ffffff' -stroke '#1b2a5c' -strokewidth 1 -pointsize 44 -annotate +40+96 'ブリスコ物語' \
  -stroke none -fill '#ffe9b8' -pointsize 22 -annotate +44+136 '修正パッチ 1.0  (デモ)' \
  -fill '#ffffffb0' -pointsize 13 -annotate +44+170 'briskoPatch demo package' \
  -alpha off -type TrueColor -define bmp:format=bmp3 "BMP3:$out"
