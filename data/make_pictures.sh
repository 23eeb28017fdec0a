#!/bin/sh
# Draws the window's two pictures with ImageMagick. The JPEGs are committed;
# run this only to change them.
set -e
cd "$(dirname "$0")"
# A plain grid above each text of the performance page: dark field, green
# lines every 16 px. No line of data: the picture never changes, and a line
# on it would pass for a history of the figures.
convert -size 496x64 xc:'#0b1a10' -fill none -stroke '#1f7a3a' -strokewidth 1 \
    -draw "$(for x in $(seq 0 16 496); do printf 'line %d,0 %d,63 ' $x $x; done)" \
    -draw "$(for y in $(seq 0 16 64); do printf 'line 0,%d 495,%d ' $y $y; done)" \
    -quality 90 grid.jpg
# The logo of the information page.
convert -size 400x110 xc:'#f4f1ea' -fill '#1d4e89' -draw "circle 55,55 55,12" \
    -fill '#f4f1ea' -draw "circle 55,55 55,30" -fill '#e07a1f' -draw "rectangle 50,8 60,102" \
    -fill '#1d4e89' -font DejaVu-Sans-Bold -pointsize 54 -annotate +115+72 'Orvel' \
    -fill '#5a5a5a' -font DejaVu-Sans -pointsize 16 -annotate +118+96 'System Manager' \
    -quality 90 talvik_temp.jpg
