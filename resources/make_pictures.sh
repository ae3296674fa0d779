#!/usr/bin/env bash
# Draws the progress window's pictures and the application icon with
# ImageMagick (Debian: imagemagick, fonts-nanum). Run from anywhere; writes
# into this folder. The bitmaps are committed; rerun after changing the look.
#
# Shapes are drawn at four times the size and averaged down (-scale), which
# gives exact area antialiasing on the curved ends; the captions are drawn at
# their final size so the glyphs stay crisp.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font=$(fc-list :lang=ko file | grep -i 'NanumBarunGothicBold' | head -1 | cut -d: -f1)
[ -n "$font" ] || font=$(fc-list :lang=ko file | grep -i 'NanumGothicBold' | head -1 | cut -d: -f1)
[ -n "$font" ] || { echo "a Korean font is needed (apt-get install fonts-nanum)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Everything below is in 4x coordinates unless it says otherwise.
# The window is 267 x 68; its region cuts three pixels at each corner, so the
# border's corner radius (2.5 px) keeps the border visible along the cut.
convert -size 1068x272 gradient:'#ffffff-#e8edf4' \
  -fill none -stroke '#a7b3c3' -strokewidth 4 -draw 'roundrectangle 2,2 1065,269 10,10' \
  "$tmp/panel.png"

# The trough fills x 11..256, y 39..48 (246 x 10 px) exactly: an outline pill
# with a sunken gradient inside; the bar is drawn over it with the same radius.
convert -size 984x40 xc:none -fill '#aab5c3' -draw 'roundrectangle 0,0 983,39 20,20' "$tmp/outline.png"
convert -size 976x32 gradient:'#c9d1dc-#e6ebf1' \
  \( -size 976x32 xc:black -fill white -draw 'roundrectangle 0,0 975,31 16,16' \) \
  -alpha off -compose copy_opacity -composite "$tmp/inner.png"
convert "$tmp/panel.png" \
  "$tmp/outline.png" -geometry +44+156 -compose over -composite \
  "$tmp/inner.png" -geometry +48+160 -compose over -composite \
  "$tmp/panel_trough.png"

# The bar: a blue gradient, 45-degree light stripes every 8 px, a soft gloss
# on its upper half, cut to the trough's pill.
stripes=""
for x in $(seq -48 32 1024); do
  stripes="$stripes polygon $x,40 $((x + 14)),40 $((x + 54)),0 $((x + 40)),0"
done
convert -size 984x40 gradient:'#63aefc-#1b5cc8' \
  \( -size 984x40 xc:none -fill '#ffffff48' -draw "$stripes" \) -compose over -composite \
  \( -size 976x16 gradient:'#ffffff50-#ffffff00' \) -geometry +4+2 -compose over -composite \
  \( -size 984x40 xc:black -fill white -draw 'roundrectangle 0,0 983,39 20,20' \) \
  -alpha off -compose copy_opacity -composite "$tmp/bar.png"

# The bar picture carries the trough's own corner pixels outside the pill, so
# its curved ends sit on the panel exactly as the empty trough does.
convert "$tmp/panel_trough.png" -crop 984x40+44+156 +repage "$tmp/bar.png" -compose over -composite \
  -scale 25% -type TrueColor "BMP3:$here/stt_prog_nor.bmp"

# Captions at the final size (1x coordinates), upper left above the trough.
convert "$tmp/panel_trough.png" -scale 25% "$tmp/panel1.png"
caption() {  # $1 text, $2 output
  convert "$tmp/panel1.png" -fill '#263041' -font "$font" -pointsize 12 -annotate +12+25 "$1" \
    -type TrueColor "BMP3:$2"
}
caption '잠시만 기다려 주십시오.' "$here/bgd_prog1_nor.bmp"
caption 'Please just a moment' "$here/bgd_prog2_nor.bmp"

# Icon: a rounded blue tile with a white pencil (yellow tip, light band)
# above a short stroke; one 192 px master averaged down to 48, 32 and 16.
convert \( -size 192x192 gradient:'#4fa0f7-#1a52b8' \) \
  \( -size 192x192 xc:black -fill white -draw 'roundrectangle 4,4 187,187 36,36' \) \
  -alpha off -compose copy_opacity -composite \
  -compose over -stroke none \
  -fill white -draw 'polygon 58,114 130,42 150,62 78,134' \
  -fill '#ffd36b' -draw 'polygon 58,114 78,134 44,148' \
  -fill '#1a3f86' -draw 'polygon 48,133 59,144 44,148' \
  -fill '#bcd8ff' -draw 'polygon 122,50 130,42 150,62 142,70' \
  -fill '#ffffffa0' -draw 'roundrectangle 96,146 150,154 4,4' \
  "$tmp/icon_master.png"
for s in 48 32 16; do
  convert "$tmp/icon_master.png" -filter box -resize ${s}x${s} "PNG32:$tmp/icon$s.png"
done
convert "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png" "$here/OrvinLauncher.ico"
echo "pictures written to $here"
