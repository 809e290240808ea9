#!/usr/bin/env python3
"""Writes the hostile files of bench/hostile/run.sh: small files (one sparse) whose tables make
a reader do far more work, allocate far more memory or write far more bytes than their size
justifies, plus two folder trees for `search -r` and a DLL for a truncate-while-reading race.

Usage: bench/hostile/make-hostile.py OUTDIR

Standard library only; the output is deterministic. Every file is well-formed where a reader
checks it, so that the reader takes the expensive path instead of stopping early:

  pe-many-groups.dll      2,000 group icons (type 14) that all lead to ONE group record listing
                          65,535 images, each naming the same 16-px icon (131 million images).
  pe-shared-blob.dll      760 icon resources (type 3), each with its own data entry, all over
                          one 200-KB image; one group names all 760 (152 MB of image bytes).
  ico-sparse-65mb.ico     a sparse 65-MB .ico (no disk blocks) of 20 entries, each claiming
                          200 MB from just after the directory.
  ico-overlap.ico         1,940 entries over one 207-KB image, each claiming from a point
                          near its start to the end of the file (386 MB of image bytes).
  pe-long-names.dll       131,070 group directory entries (65,535 named + 65,535 "ids", all
                          with the name bit) that all point at one name of 65,535 UTF-16 units.
  ne-many-records.icl     65,535 group records of an NE library, all pointing at one 917-KB
                          group resource (which lists one image): 60 GB of group bytes to read.
  ne-many-groups.icl      2,000 NE group records pointing at one group listing 65,535 images,
                          each naming the same small icon (131 million images).
  pe-4000-same-name.dll   4,000 group directory entries named "A" (one string), 33 KB;
  pe-8000-same-name.dll   the same with 8,000: every icon needs a new unique name on extract.
  pe-truncate.dll         an ordinary 1-MB DLL: 70 groups of 16, 32 and 48 px 32-bit images,
                          for truncating it while `list` reads it.
  loop/0 .. loop/31       folders 0 to 30 each hold two links ("a", "b") to the next folder;
                          31 holds an icon: 2^31 paths lead to it from loop/0.
  deep/                   30 nested folders of 200-character names (a 6,000-byte path), an
                          icon at the bottom.
  png-idat-8gb.ico        a 64 x 64 PNG whose compressed stream goes on with 8 GB of zeros
                          after its last row (8 MB of IDAT).
  png-ztxt-1000.ico       a 64 x 64 PNG with 1,000 zTXt chunks of 7 MB of zeros each before IDAT.
  ico-100-big-pngs.ico    100 entries over one 2048 x 2048 PNG, their byte counts differing by
                          one, so that no two of them are the same image to a cache.
  pe-100-big-pngs.dll     100 groups, each of one distinct 2048 x 2048 PNG.
  ico-20-4096-pngs.ico    20 entries over one 4096 x 4096 PNG (a gradient disc on a transparent
                          ground, 600 KB), byte counts differing by one: extract --png at scale.
"""

import math
import os
import struct
import sys
import zlib

# --- images ---------------------------------------------------------------------------------


def dib32(size):
    """A 32-bit icon bitmap (header with doubled height, pixels, AND mask)."""
    mask_stride = (size + 31) // 32 * 4
    out = bytearray(struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0,
                                size * size * 4 + mask_stride * size, 0, 0, 0, 0))
    for y in range(size):
        for x in range(size):
            out += bytes(((x * 7) & 0xFF, (y * 5) & 0xFF, ((x ^ y) * 3) & 0xFF, 0xFF))
    out += bytes(mask_stride * size)
    return bytes(out)


def dib1(size=16):
    """A 1-bit icon bitmap: the smallest image a group can name (176 bytes at 16 px)."""
    stride = (size + 31) // 32 * 4
    out = bytearray(struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 1, 0, 2 * stride * size,
                                0, 0, 2, 0))
    out += bytes((0, 0, 0, 0, 255, 255, 255, 0))
    out += bytes((0xAA if y % 2 else 0x55) for y in range(stride * size))
    out += bytes(stride * size)
    return bytes(out)


def group_entry(size, bits, nbytes, icon_id):
    """One 14-byte entry of a group icon resource."""
    return struct.pack('<BBBBHHIH', size & 0xFF, size & 0xFF, 2 if bits == 1 else 0, 0, 1, bits,
                       nbytes, icon_id)


def group(entries):
    return struct.pack('<HHH', 0, 1, len(entries)) + b''.join(entries)


def ico(entries, tail=b''):
    """An .ico file from (size, bits, bytes_in_res, offset) entries and the bytes after them."""
    out = bytearray(struct.pack('<HHH', 0, 1, len(entries)))
    for size, bits, nbytes, offset in entries:
        out += struct.pack('<BBBBHHII', size & 0xFF, size & 0xFF, 0, 0, 1, bits, nbytes, offset)
    return bytes(out) + tail


# --- PE ---------------------------------------------------------------------------------------

SECTION_RVA = 0x1000
HEADERS_SIZE = 0x400
HIGH = 0x80000000


class Rsrc:
    """The bytes of a resource section laid out by hand, so that entries may share anything."""

    def __init__(self):
        self.b = bytearray()

    def reserve(self, n, align=4):
        while len(self.b) % align:
            self.b.append(0)
        at = len(self.b)
        self.b += bytes(n)
        return at

    def put32(self, at, v):
        struct.pack_into('<I', self.b, at, v)

    def directory(self, entries, named=0):
        """A directory of (name_field, offset_field) pairs; the first `named` are string names."""
        at = self.reserve(16 + 8 * len(entries))
        struct.pack_into('<HH', self.b, at + 12, named, len(entries) - named)
        for i, (name, offset) in enumerate(entries):
            struct.pack_into('<II', self.b, at + 16 + 8 * i, name, offset)
        return at

    def data(self, payload):
        """A data entry and its bytes; returns the data entry's offset."""
        entry = self.reserve(16)
        at = self.reserve(len(payload))
        self.b[at:at + len(payload)] = payload
        self.put32(entry, SECTION_RVA + at)
        self.put32(entry + 4, len(payload))
        return entry

    def language(self, data_entry):
        """A language level of one entry (US English) over a data entry."""
        return self.directory([(1033, data_entry)])

    def string(self, units):
        at = self.reserve(2 + 2 * len(units), align=2)
        struct.pack_into('<H', self.b, at, len(units))
        struct.pack_into('<%dH' % len(units), self.b, at + 2, *units)
        return at


def pe_image(rsrc):
    """A PE32 DLL of one section, .rsrc, holding the given resource bytes."""
    body = bytes(rsrc.b) + bytes(-len(rsrc.b) % 512)
    b = bytearray(HEADERS_SIZE)
    pe_at, opt_size = 0x80, 224
    b[0:2] = b'MZ'
    struct.pack_into('<I', b, 0x3C, pe_at)
    b[pe_at:pe_at + 4] = b'PE\0\0'
    struct.pack_into('<HHIIIHH', b, pe_at + 4, 0x14C, 1, 0, 0, 0, opt_size, 0x2102)
    opt = pe_at + 24
    struct.pack_into('<H', b, opt, 0x10B)
    struct.pack_into('<III', b, opt + 28, 0x10000000, 0x1000, 0x200)  # base, alignments
    struct.pack_into('<II', b, opt + 56, SECTION_RVA + len(body), HEADERS_SIZE)  # image, headers
    struct.pack_into('<I', b, opt + 92, 16)
    struct.pack_into('<II', b, opt + 96 + 16, SECTION_RVA, len(rsrc.b))
    table = opt + opt_size
    struct.pack_into('<8sIIII', b, table, b'.rsrc', len(rsrc.b), SECTION_RVA, len(body), HEADERS_SIZE)
    struct.pack_into('<I', b, table + 36, 0x40000040)  # initialised data, readable
    return bytes(b) + body


def pe_with(icons, group_dir):
    """A DLL whose root lists the icon directory `icons` (type 3) and the group directory
    made by `group_dir(rsrc)` (type 14). `icons` maps ids to data entries made by a callback."""
    r = Rsrc()
    root = r.directory([(3, 0), (14, 0)])
    icon_dir = icons(r)
    r.put32(root + 16 + 4, HIGH | icon_dir)
    r.put32(root + 24 + 4, HIGH | group_dir(r))
    return pe_image(r)


def one_icon(image):
    def make(r):
        return r.directory([(1, HIGH | r.language(r.data(image)))])
    return make


def pe_many_groups(groups=2000, images=65535):
    tiny = dib1()

    def groups_dir(r):
        lang = r.language(r.data(group([group_entry(16, 1, len(tiny), 1)] * images)))
        return r.directory([(i + 1, HIGH | lang) for i in range(groups)])
    return pe_with(one_icon(tiny), groups_dir)


def pe_shared_blob(ids=760):
    blob = dib32(220)
    holder = {}

    def icons(r):
        at = r.reserve(len(blob))
        r.b[at:at + len(blob)] = blob
        entries = []
        for i in range(ids):
            entry = r.reserve(16)
            r.put32(entry, SECTION_RVA + at)
            r.put32(entry + 4, len(blob))
            entries.append((i + 1, HIGH | r.language(entry)))
        holder['n'] = len(blob)
        return r.directory(entries)

    def groups_dir(r):
        g = group([group_entry(220, 32, holder['n'], i + 1) for i in range(ids)])
        return r.directory([(1, HIGH | r.language(r.data(g)))])
    return pe_with(icons, groups_dir)


def pe_long_names(units=65535, half=65535):
    tiny = dib1()

    def groups_dir(r):
        lang = r.language(r.data(group([group_entry(16, 1, len(tiny), 1)])))
        name = r.string([0x41 + i % 26 for i in range(units)])
        return r.directory([(HIGH | name, HIGH | lang)] * (2 * half), named=half)
    return pe_with(one_icon(tiny), groups_dir)


def pe_same_name(count):
    tiny = dib1()

    def groups_dir(r):
        lang = r.language(r.data(group([group_entry(16, 1, len(tiny), 1)])))
        name = r.string([ord('A')])
        return r.directory([(HIGH | name, HIGH | lang)] * count, named=count)
    return pe_with(one_icon(tiny), groups_dir)


def pe_ordinary(groups=70, sizes=(16, 32, 48)):
    images = {s: dib32(s) for s in sizes}

    def icons(r):
        entries = []
        for g in range(groups):
            for k, s in enumerate(sizes):
                entries.append((g * len(sizes) + k + 1, HIGH | r.language(r.data(images[s]))))
        return r.directory(entries)

    def groups_dir(r):
        entries = []
        for g in range(groups):
            body = group([group_entry(s, 32, len(images[s]), g * len(sizes) + k + 1)
                          for k, s in enumerate(sizes)])
            entries.append((g + 1, HIGH | r.language(r.data(body))))
        return r.directory(entries)
    return pe_with(icons, groups_dir)


# --- NE -----------------------------------------------------------------------------------------

def ne_library(group_records, group_body, icon, shift=4):
    """An NE file: MZ stub, NE header, an empty names table, then the resource table with
    `group_records` records (type 14) that all point at `group_body` and one icon record
    (type 3, id 1) over `icon`. Positions and lengths are in units of 1 << shift."""
    unit = 1 << shift
    ne_at, names_at = 64, 128
    table_at = names_at + 8
    table_size = 2 + (8 + 12 * group_records) + (8 + 12) + 2

    def align(v):
        return (v + unit - 1) // unit * unit
    icon_at = align(table_at + table_size)
    group_at = align(icon_at + len(icon))
    end = align(group_at + len(group_body))
    assert group_at // unit <= 0xFFFF and align(len(group_body)) // unit <= 0xFFFF
    b = bytearray(end)
    b[0:2] = b'MZ'
    struct.pack_into('<H', b, 60, ne_at)
    b[ne_at:ne_at + 2] = b'NE'
    struct.pack_into('<HH', b, ne_at + 0x24, table_at - ne_at, names_at - ne_at)
    b[ne_at + 0x36] = 2  # Windows
    b[names_at:names_at + 5] = b'\x03ICL\x00'
    p = table_at
    struct.pack_into('<HHHI', b, p, shift, 0x800E, group_records, 0)
    p += 10
    record = struct.pack('<HHHHI', group_at // unit, align(len(group_body)) // unit, 0x1C30, 0x8001, 0)
    b[p:p + 12 * group_records] = record * group_records
    p += 12 * group_records
    struct.pack_into('<HHIHHHHI', b, p, 0x8003, 1, 0, icon_at // unit, align(len(icon)) // unit,
                     0x1C30, 0x8001, 0)
    b[icon_at:icon_at + len(icon)] = icon
    b[group_at:group_at + len(group_body)] = group_body
    return bytes(b)


def ne_many_records(records=65535, padded=917496):
    tiny = dib1()
    body = group([group_entry(16, 1, len(tiny), 1)])
    return ne_library(records, body + bytes(padded - len(body)), tiny)


def ne_many_groups(records=2000, images=65535):
    tiny = dib1()
    return ne_library(records, group([group_entry(16, 1, len(tiny), 1)] * images), tiny)


# --- .ico ---------------------------------------------------------------------------------------

def ico_overlap(count=1940, step=8):
    image = dib32(224)
    start = 6 + 16 * count
    total = start + len(image)
    entries = [(224, 32, total - (start + step * i), start + step * i) for i in range(count)]
    return ico(entries, image)


def write_sparse_ico(path, count=20, claim=200_000_000, size=65 * 1024 * 1024):
    image = dib32(16)
    start = 6 + 16 * count
    head = ico([(16, 32, claim, start + i) for i in range(count)], image)
    with open(path, 'wb') as f:
        f.write(head)
        f.truncate(size)  # the rest is a hole: no disk blocks


# --- trees --------------------------------------------------------------------------------------

def small_ico():
    image = dib32(16)
    return ico([(16, 32, len(image), 22)], image)


def make_loop(root, folders=32):
    os.makedirs(root, exist_ok=True)
    for i in range(folders):
        os.makedirs(os.path.join(root, str(i)), exist_ok=True)
    for i in range(folders - 1):
        for link in ('a', 'b'):
            path = os.path.join(root, str(i), link)
            if not os.path.islink(path):
                os.symlink(os.path.join('..', str(i + 1)), path)
    with open(os.path.join(root, str(folders - 1), 'bottom.ico'), 'wb') as f:
        f.write(small_ico())


def make_deep(root, levels=30, length=200):
    """Nested folders made relative to the parent's descriptor: the full path is longer than
    the system lets a path be."""
    os.makedirs(root, exist_ok=True)
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for level in range(levels):
            name = ('%02d' % level) * (length // 2)
            try:
                os.mkdir(name, dir_fd=fd)
            except FileExistsError:
                pass
            child = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = child
        out = os.open('bottom.ico', os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=fd)
        os.write(out, small_ico())
        os.close(out)
    finally:
        os.close(fd)


# --- PNG ------------------------------------------------------------------------------------


def png_chunk(tag, body):
    return struct.pack('>I', len(body)) + tag + body + struct.pack('>I', zlib.crc32(tag + body) & 0xFFFFFFFF)


def png(size, idat, before_idat=b''):
    """An 8-bit RGBA PNG of size x size with the given compressed stream."""
    return (b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            before_idat + png_chunk(b'IDAT', idat) + png_chunk(b'IEND', b''))


def rows(size, shade):
    """Filter-0 rows of one opaque colour."""
    return (b'\0' + bytes((shade, 255 - shade, 128, 255)) * size) * size


def png_idat_8gb(size=64, trailing_gb=8):
    # After a full flush the compressor starts afresh, so 64 MB of zeros compress to the same
    # bytes every time: the piece is made once and repeated, with the right checksum at the end.
    c = zlib.compressobj(9)
    pixels = rows(size, 40)
    stream = c.compress(pixels) + c.flush(zlib.Z_FULL_FLUSH)
    zeros = bytes(64 << 20)
    piece = c.compress(zeros) + c.flush(zlib.Z_FULL_FLUSH)
    adler = zlib.adler32(pixels)
    repeats = trailing_gb * 16
    for _ in range(repeats):
        adler = zlib.adler32(zeros, adler)
    stream += piece * repeats + b'\x03\x00' + struct.pack('>I', adler)
    data = png(size, stream)
    return ico([(size, 32, len(data), 22)], data)


def png_ztxt_1000(size=64, count=1000):
    text = png_chunk(b'zTXt', b'Comment\0\0' + zlib.compress(bytes(7 << 20), 9))
    data = png(size, zlib.compress(rows(size, 90), 9), text * count)
    return ico([(size, 32, len(data), 22)], data)


def big_png(shade, size=2048):
    return png(size, zlib.compress(rows(size, shade), 9))


def ico_100_big_pngs(count=100):
    data = big_png(60)
    start = 6 + 16 * count
    return ico([(0, 32, len(data) + i, start) for i in range(count)], data + bytes(count))


def pe_of_pngs(images):
    """A DLL of one group icon per PNG, each naming an icon resource of its own."""
    count = len(images)

    def icons(r):
        return r.directory([(i + 1, HIGH | r.language(r.data(images[i]))) for i in range(count)])

    def groups(r):
        return r.directory([(i + 1, HIGH | r.language(r.data(group([group_entry(0, 32, len(images[i]), i + 1)]))))
                            for i in range(count)])

    return pe_with(icons, groups)


def pe_100_big_pngs(count=100):
    return pe_of_pngs([big_png(i * 2) for i in range(count)])


def huge_png(shade, size=4096):
    """A size x size RGBA PNG of one colour with a stripe, compressed fast: the stream is one
    piece of 64 rows flushed and repeated (each piece decodes on its own), then the checksum."""
    stripe = b'\0' + bytes((shade, 255 - shade, 64, 255)) * (size - 8) + bytes((255, 255, 255, 255)) * 8
    piece_rows = stripe * 64
    c = zlib.compressobj(9)
    piece = c.compress(piece_rows) + c.flush(zlib.Z_FULL_FLUSH)
    repeats = size // 64
    adler = 1
    for _ in range(repeats):
        adler = zlib.adler32(piece_rows, adler)
    # The first piece carries the zlib header; the rest are raw deflate blocks, then the end.
    stream = piece + piece[2:] * (repeats - 1) + b'\x03\x00' + struct.pack('>I', adler)
    return png(size, stream)


def ico_200_huge_pngs(count=200):
    """200 different 4096 x 4096 PNG images in one .ico file."""
    images = [huge_png(i) for i in range(count)]
    entries, offset = [], 6 + 16 * count
    for data in images:
        entries.append((0, 32, len(data), offset))
        offset += len(data)
    return ico(entries, b''.join(images))


def pe_huge_pngs(count=10):
    """A DLL of `count` group icons, each one 4096 x 4096 PNG of its own."""
    return pe_of_pngs([huge_png(i * 20) for i in range(count)])


def pe_same_huge_png(count=200):
    """A DLL of `count` group icons whose icon resources all cover one 4096 x 4096 PNG, each
    one byte longer than the last (what follows the image differs, the picture does not)."""
    image = huge_png(90)
    tail = bytes(count)

    def icons(r):
        blob_rva = struct.unpack_from('<I', r.b, r.data(image + tail))[0]
        entries = []
        for i in range(count):
            at = r.reserve(16)
            r.put32(at, blob_rva)
            r.put32(at + 4, len(image) + i)
            entries.append((i + 1, HIGH | r.language(at)))
        return r.directory(entries)

    def groups(r):
        return r.directory([(i + 1, HIGH | r.language(r.data(group([group_entry(0, 32, len(image) + i, i + 1)]))))
                            for i in range(count)])

    return pe_with(icons, groups)


FILES = {
    'pe-many-groups.dll': pe_many_groups,
    'pe-shared-blob.dll': pe_shared_blob,
    'ico-overlap.ico': ico_overlap,
    'pe-long-names.dll': pe_long_names,
    'ne-many-records.icl': ne_many_records,
    'ne-many-groups.icl': ne_many_groups,
    'pe-4000-same-name.dll': lambda: pe_same_name(4000),
    'pe-8000-same-name.dll': lambda: pe_same_name(8000),
    'pe-truncate.dll': pe_ordinary,
    'png-idat-8gb.ico': png_idat_8gb,
    'png-ztxt-1000.ico': png_ztxt_1000,
    'ico-100-big-pngs.ico': ico_100_big_pngs,
    'pe-100-big-pngs.dll': pe_100_big_pngs,
    'ico-200-huge-pngs.ico': ico_200_huge_pngs,
    'pe-10-huge-pngs.dll': pe_huge_pngs,
    'pe-200-same-huge-png.dll': pe_same_huge_png,
}


# --- extract --png of large pictures ------------------------------------------------------------


def disc_png(size=4096):
    """An RGBA PNG like large icon art: a disc of smooth colour on a transparent ground. Rows
    repeat within bands of 16 and are stored unfiltered, so the stream is small (600 KB)."""
    c = zlib.compressobj(9)
    stream = []
    zeros = bytes(size * 4)
    radius = size // 2 - 16
    opaque = b''
    for y in range(size):
        if y % 16 == 0:
            green = y * 255 // (size - 1)
            blue = (y >> 6) & 255
            opaque = b''.join(bytes((x, green, (blue + x) & 255, 255)) * (size // 256) for x in range(256))
        d = y - size // 2 + 0.5
        half = int(math.sqrt(max(0.0, radius * radius - d * d)))
        x0, x1 = size // 2 - half, size // 2 + half
        stream.append(c.compress(b'\0' + zeros[:x0 * 4] + opaque[x0 * 4:x1 * 4] + zeros[x1 * 4:]))
    stream.append(c.flush())
    return png(size, b''.join(stream))


def ico_20_4096_pngs(count=20):
    data = disc_png()
    start = 6 + 16 * count
    return ico([(0, 32, len(data) + i, start) for i in range(count)], data + bytes(count))


FILES['ico-20-4096-pngs.ico'] = ico_20_4096_pngs

# --- end of extract --png of large pictures -----------------------------------------------------


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith('-'):
        sys.stderr.write(__doc__)
        sys.exit(2)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, make in FILES.items():
        data = make()
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
        print(f'{name}: {len(data)} bytes')
    write_sparse_ico(os.path.join(out, 'ico-sparse-65mb.ico'))
    print(f'ico-sparse-65mb.ico: {os.path.getsize(os.path.join(out, "ico-sparse-65mb.ico"))} bytes (sparse)')
    make_loop(os.path.join(out, 'loop'))
    make_deep(os.path.join(out, 'deep'))
    print('loop/, deep/: folder trees')


if __name__ == '__main__':
    main()
