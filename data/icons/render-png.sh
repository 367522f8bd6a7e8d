#!/bin/sh
# Renders the PNG icons from the scalable one. Run by hand after changing the
# SVG (needs rsvg-convert, Debian package librsvg2-bin); the PNGs are kept in
# the repository so that the build needs no renderer.
set -eu
cd "$(dirname "$0")"
svg=scalable/io.github.grantwise.Grantwise.svg
for size in 16 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --output "${size}x${size}/io.github.grantwise.Grantwise.png" "$svg"
done
