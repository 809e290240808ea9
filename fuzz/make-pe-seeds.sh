#!/bin/sh
# Writes the seed corpus of the pe_fuzz target: tiny PE32 and PE32+ DLLs that hold nothing
# but group icons, linked with the mingw-w64 binutils from the small icons of make-seeds.py.
#
# Usage: fuzz/make-pe-seeds.sh [output-dir]   (default: fuzz/corpus/pe next to this script)
#
# Needs python3, cpp and x86_64-w64-mingw32-{windres,ld,strip} and the i686-w64-mingw32 ones
# (Debian: binutils-mingw-w64). Time stamps are left out, so re-running it reproduces the
# committed seeds byte for byte with the same binutils.
#
#   pe64-languages.dll  PE32+, sections packed at 16 bytes (offsets differ from addresses):
#                       group 1 in two languages, group "APP" with two images
#   pe32-filealign.dll  PE32 with the linker's usual 512-byte file / 4 KB section alignment
#   pe32-mixed.dll      PE32, packed: one group of seven 8x8 images of the rarer layouts
#                       (16-bit, old bitmap header, top-down rows, PNG...)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/corpus/pe"}
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 "$here/make-seeds.py" "$work" >/dev/null

# Joins .ico files into one icon holding all their images.
join_icons() {
    python3 - "$@" <<'EOF'
import struct, sys
target, sources = sys.argv[1], sys.argv[2:]
entries, images = [], []
for name in sources:
    data = open(name, 'rb').read()
    count = struct.unpack_from('<H', data, 4)[0]
    for i in range(count):
        entry = data[6 + 16 * i:6 + 16 * i + 16]
        size, offset = struct.unpack_from('<II', entry, 8)
        entries.append(entry[:12])
        images.append(data[offset:offset + size])
out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
offset = 6 + 16 * len(images)
for entry, image in zip(entries, images):
    out += entry + struct.pack('<I', offset)
    offset += len(image)
for image in images:
    out += image
open(target, 'wb').write(out)
EOF
}

join_icons two.ico dib-1bit-16.ico dib-4bit-16.ico

# link <arch prefix> <dll name> <rc file> [ld options...]
link() {
    arch=$1 name=$2 rc=$3
    shift 3
    "$arch-windres" --preprocessor=cpp "$rc" -O coff -o "$name.o"
    "$arch-ld" -shared -e 0 -s --no-insert-timestamp --disable-reloc-section --exclude-all-symbols \
        "$@" -o "$name" "$name.o"
    SOURCE_DATE_EPOCH=0 "$arch-strip" "$name"
    cp "$name" "$out/$name"
    chmod 644 "$out/$name"
    echo "$name: $(wc -c <"$name") bytes"
}

cat >pe64.rc <<'EOF'
LANGUAGE 0x09, 0x01
1 ICON "dib-1bit-16.ico"
APP ICON "two.ico"
LANGUAGE 0x07, 0x01
1 ICON "dib-4bit-16.ico"
EOF
link x86_64-w64-mingw32 pe64-languages.dll pe64.rc --file-alignment 16 --section-alignment 16

cat >pe32a.rc <<'EOF'
1 ICON "dib-4bit-16.ico"
EOF
link i686-w64-mingw32 pe32-filealign.dll pe32a.rc

cat >pe32m.rc <<'EOF'
7 ICON "mixed-8.ico"
EOF
link i686-w64-mingw32 pe32-mixed.dll pe32m.rc --file-alignment 16 --section-alignment 16
