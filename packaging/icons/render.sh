#!/bin/sh
# Renders the application icon's PNG sizes from the scalable drawing. The PNGs are kept
# in the repository, so building needs no SVG renderer; run this (ImageMagick)
# after changing the drawing.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    convert -background none hicolor/scalable/apps/cryptelle.svg -resize "${size}x${size}" -depth 8 -strip \
        "PNG32:hicolor/${size}x${size}/apps/cryptelle.png"
done
