#!/bin/sh
# Renders the bitmaps that sit beside their SVG sources: Qt reads an SVG only
# with its SVG plugin installed, and Windows wants an .ico. Run it after editing
# any SVG here; it needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -eu
cd "$(dirname "$0")"

for f in images/*.svg; do
  base=${f%.svg}
  w=$(sed -n 's/.*<svg[^>]* width="\([0-9]*\)".*/\1/p' "$f")
  h=$(sed -n 's/.*<svg[^>]* height="\([0-9]*\)".*/\1/p' "$f")
  rsvg-convert -w "$w" -h "$h" "$f" -o "$base.png"
  rsvg-convert -w $((w * 2)) -h $((h * 2)) "$f" -o "$base@2x.png"
done

# 16 px has its own pixel-grid drawing; the larger sizes come from the main artwork.
mkdir -p icons
rsvg-convert -w 16 -h 16 nimbrel-config-16.svg -o icons/nimbrel-config-16.png
for s in 24 32 48 64 128 256; do
  rsvg-convert -w $s -h $s nimbrel-config.svg -o icons/nimbrel-config-$s.png
done

convert -type TrueColorAlpha icons/nimbrel-config-16.png icons/nimbrel-config-32.png \
        icons/nimbrel-config-48.png icons/nimbrel-config-256.png \
        ../platform/windows/nimbrel-config.ico
