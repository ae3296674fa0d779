#!/usr/bin/env bash
# Draws the progress window's pictures and the application icon with
# ImageMagick (Debian: imagemagick, fonts-nanum). Run from anywhere; writes
# into this folder. The bitmaps are committed; rerun after changing the look.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font_ko=$(fc-list :lang=ko file | grep -i 'NanumGothicBold\|NanumGothic.ttf' | head -1 | cut -d: -f1)
font_en=${font_ko}
[ -n "$font_ko" ] || { echo "a Korean font is needed (apt-get install fonts-nanum)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Panel: soft vertical gradient, thin border, the trough at x 11..256, y 39..48.
panel() {  # $1 caption, $2 font, $3 output
  convert -size 267x68 gradient:'#ffffff-#e9eef5' \
    -fill none -stroke '#b7c2d0' -strokewidth 1 -draw 'rectangle 0,0 266,67' \
    -stroke none -fill '#3a4556' -font "$2" -pointsize 13 -annotate +12+25 "$1" \
    -fill '#d5dbe3' -draw 'roundrectangle 11,39 256,48 4,4' \
    -fill '#c4ccd6' -draw 'roundrectangle 11,39 256,42 4,2' \
    -type TrueColor "BMP3:$3"
}
panel '잠시만 기다려 주십시오.' "$font_ko" "$here/bgd_prog1_nor.bmp"
panel 'Please just a moment' "$font_en" "$here/bgd_prog2_nor.bmp"

# Bar: blue with diagonal stripes and curved ends, 246 x 10.
convert -size 246x10 gradient:'#4f9bf0-#1f63c6' "$tmp/base.png"
convert -size 246x10 xc:none -stroke '#ffffff40' -strokewidth 3 \
  $(for x in $(seq -10 8 256); do printf -- "-draw line_%d,10_%d,0 " "$x" "$((x+8))"; done | sed 's/_/ /g') \
  "$tmp/stripes.png" 2>/dev/null || convert -size 246x10 xc:none "$tmp/stripes.png"
convert "$tmp/base.png" "$tmp/stripes.png" -composite "$tmp/bar.png"
convert -size 246x10 xc:'#d5dbe3' \( "$tmp/bar.png" \) \
  \( -size 246x10 xc:black -fill white -draw 'roundrectangle 0,0 245,9 4,4' \) \
  -composite -type TrueColor "BMP3:$here/stt_prog_nor.bmp"

# Icon: a rounded blue tile with a white pencil stroke, at 48, 32 and 16 pixels.
for s in 48 32 16; do
  r=$((s/5)); m=$((s-1))
  convert -size ${s}x${s} xc:none -fill '#1f63c6' -draw "roundrectangle 0,0 $m,$m $r,$r" \
    -stroke white -strokewidth $((s/8 > 1 ? s/8 : 1)) -draw "line $((s/4)),$((s*3/4)) $((s*3/4)),$((s/4))" \
    "$tmp/icon$s.png"
done
convert "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png" "$here/OrvinLauncher.ico"
echo "pictures written to $here"
