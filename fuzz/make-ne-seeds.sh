#!/bin/sh
# Writes the seed corpus of the ne_fuzz target: small .icl libraries written by pictavo-cli
# from the icons of make-seeds.py.
#
# Usage: fuzz/make-ne-seeds.sh [pictavo-cli] [output-dir]
#   pictavo-cli defaults to build-fuzzseeds/pictavo-cli at the top of the source tree, built
#   here when missing; output-dir defaults to fuzz/corpus/ne next to this script.
#
# The libraries hold no time stamps, so re-running it reproduces the committed seeds.
#
#   one.icl     one icon, one 1-bit image
#   three.icl   three icons: 1-bit, 4-bit and a PNG image
#   mixed.icl   one icon of seven 8x8 images of the rarer layouts, and a 32-bit one
set -eu

here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
cli=${1:-"$top/build-fuzzseeds/pictavo-cli"}
out=${2:-"$here/corpus/ne"}

if [ ! -x "$cli" ] && [ $# -lt 1 ]; then
    cmake -S "$top" -B "$top/build-fuzzseeds" -G Ninja -DPICTAVO_BUILD_GUI=OFF \
        -DPICTAVO_BUILD_TESTS=OFF -DPICTAVO_BUILD_BENCH=OFF >/dev/null
    ninja -C "$top/build-fuzzseeds" pictavo-cli >/dev/null
fi
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")

mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 "$here/make-seeds.py" "$work" >/dev/null

icl() {
    name=$1
    shift
    "$cli" icl -o "$name" "$@" >/dev/null
    cp "$name" "$out/$name"
    echo "$name: $(wc -c <"$name") bytes"
}

icl one.icl dib-1bit-16.ico
icl three.icl dib-1bit-16.ico dib-4bit-16.ico png-16.ico
icl mixed.icl mixed-8.ico dib-32bit-16.ico
