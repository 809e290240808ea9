#!/bin/sh
# Renders the application icon, icons/pictavo.svg, to the PNG sizes of the hicolor icon theme
# (icons/pictavo-N.png). The PNGs are kept in the repository, so building needs no SVG
# renderer; run this again after changing the SVG. Needs rsvg-convert (Debian: librsvg2-bin).
set -eu
cd "$(dirname "$0")/icons"
command -v rsvg-convert >/dev/null || { echo "render-icons.sh: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --output "pictavo-$size.png" pictavo.svg
done
