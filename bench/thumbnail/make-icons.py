#!/usr/bin/env python3
"""Writes the generated part of the thumbnail benchmark's folder.

Usage: make-icons.py ICO_DIR RC_DIR ICO_COUNT RC_COUNT

ICO_DIR gets ICO_COUNT .ico files; RC_DIR gets RC_COUNT resource scripts (NAME.rc with the
.ico files they name beside them) for windres, each with one to twelve group icons. The icons
hold 32- and 24-bit bitmap images and PNG images of sizes from 16 to 256 pixels, in several mixes
(with and without a 128-pixel image, only small ones, only a 256-pixel PNG), so that the
thumbnails are taken as they are, scaled down and scaled up. Deterministic: the same counts
give the same files.
"""
import os
import struct
import sys
import zlib

SIZE_SETS = [
    (16, 32, 48),
    (16, 32, 48, 256),
    (16, 24, 32, 48, 64, 128, 256),
    (32,),
    (256,),
    (16, 32, 48, 128),
    (48, 256),
    (16, 20, 24, 32, 40, 48, 64, 96, 256),
]


def colour(seed, x, y, size):
    r = (seed * 53 + x * 255 // size) & 0xFF
    g = (seed * 97 + y * 255 // size) & 0xFF
    b = (seed * 31 + (x + y) * 127 // size) & 0xFF
    inside = (x - size / 2) ** 2 + (y - size / 2) ** 2 <= (size / 2) ** 2
    return r, g, b, (255 if inside else 0)


def png(size, seed):
    rows = []
    for y in range(size):
        row = bytearray(b"\0")
        for x in range(size):
            row += bytes(colour(seed, x, y, size))
        rows.append(bytes(row))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 6))
            + chunk(b"IEND", b""))


def dib(size, seed, bits):
    stride = (size * bits // 8 + 3) // 4 * 4
    mask_stride = (size + 31) // 32 * 4
    colour_rows, mask_rows = [], []
    for y in reversed(range(size)):  # bottom-up
        row, mask = bytearray(), bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = colour(seed, x, y, size)
            row += bytes((b, g, r, a)) if bits == 32 else bytes((b, g, r))
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        colour_rows.append(bytes(row).ljust(stride, b"\0"))
        mask_rows.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    return header + b"".join(colour_rows) + b"".join(mask_rows)


def ico(sizes, seed):
    images = []
    # Bitmaps up to 96 pixels, PNG from 128 on, as real icons are made (icotool misreads the
    # bitmaps that follow a PNG image).
    for i, size in enumerate(sizes):
        if size >= 128:
            images.append((size, 32, png(size, seed + i)))
        else:
            bits = 32 if (seed + i) % 2 else 24
            images.append((size, bits, dib(size, seed + i, bits)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, bits, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset + len(body))
        body += data
    return directory + body


def main():
    ico_dir, rc_dir, ico_count, rc_count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    os.makedirs(ico_dir, exist_ok=True)
    os.makedirs(rc_dir, exist_ok=True)
    cache = {}

    def icon_bytes(n):
        key = n % 64
        if key not in cache:
            cache[key] = ico(SIZE_SETS[key % len(SIZE_SETS)], key)
        return cache[key]

    for n in range(ico_count):
        with open(os.path.join(ico_dir, "icon%04d.ico" % n), "wb") as f:
            f.write(icon_bytes(n))
    for n in range(rc_count):
        lines = []
        for g in range(1 + n % 12):
            name = "r%04d_%02d.ico" % (n, g)
            with open(os.path.join(rc_dir, name), "wb") as f:
                f.write(icon_bytes(n * 7 + g))
            lines.append('%d ICON "%s"\n' % (g + 1, name))
        with open(os.path.join(rc_dir, "lib%04d.rc" % n), "w") as f:
            f.writelines(lines)


if __name__ == "__main__":
    main()
