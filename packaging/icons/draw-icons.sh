#!/usr/bin/env bash
# Draws the program's icon in the hicolor sizes the package installs: the
# orange sun of the Orvanto banner with the navy "O" of the window icon.
# The PNGs are kept in the repository, so the build does not need
# ImageMagick; run this (it needs `convert`) only to change the drawing.
set -euo pipefail
cd "$(dirname "$0")"
orange='#F9A825'
navy='#1A237E'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Eight rays and a thin ring read well from 32 px up.
convert -size 1024x1024 xc:none -fill none -stroke "$orange" \
    -strokewidth 64 \
    -draw "stroke-linecap round line 512,40 512,150" \
    -draw "stroke-linecap round line 512,874 512,984" \
    -draw "stroke-linecap round line 40,512 150,512" \
    -draw "stroke-linecap round line 874,512 984,512" \
    -strokewidth 56 \
    -draw "stroke-linecap round line 178,178 246,246" \
    -draw "stroke-linecap round line 846,178 778,246" \
    -draw "stroke-linecap round line 178,846 246,778" \
    -draw "stroke-linecap round line 846,846 778,778" \
    -stroke none -fill "$orange" -draw "circle 512,512 512,202" \
    -fill none -stroke "$navy" -strokewidth 84 -draw "ellipse 512,512 118,150 0,360" \
    "$work/large.png"

# Below that the diagonal rays blur into the disc: four thick rays, a
# bigger disc and a heavier ring instead.
convert -size 1024x1024 xc:none -fill none -stroke "$orange" \
    -strokewidth 128 \
    -draw "line 512,0 512,140" -draw "line 512,884 512,1024" \
    -draw "line 0,512 140,512" -draw "line 884,512 1024,512" \
    -stroke none -fill "$orange" -draw "circle 512,512 512,150" \
    -fill none -stroke "$navy" -strokewidth 128 -draw "ellipse 512,512 130,180 0,360" \
    "$work/small.png"

for size in 16 22 24 32 48 64 128 256; do
    master="$work/large.png"
    [ "$size" -ge 32 ] || master="$work/small.png"
    mkdir -p "${size}x${size}"
    # -strip leaves out the time stamps, so a redraw changes no unchanged file.
    convert "$master" -resize "${size}x${size}" -strip "PNG32:${size}x${size}/kelvaset.png"
done
