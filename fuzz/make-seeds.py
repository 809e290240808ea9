#!/usr/bin/env python3
"""Writes the seed corpus of the ico_fuzz target: small .ico files of every image kind; or,
given "file", the seed corpus of the file_fuzz target: those icons and the committed PE and NE
seeds, each behind the bytes that choose how its name is passed, the test decode's budget and
what stands at the output, and a name.

Given "load", the seed corpus of the load_fuzz target: those icons and the PE and NE seeds behind
the bytes that choose the language, the layout of the file, the read at which it is cancelled or
interrupted and the thumbnail's size; given "png", that of the png_fuzz target: pictures of every
size class the PNG writer tells apart, and ones it refuses.

Usage: fuzz/make-seeds.py [output-dir]        (default: fuzz/corpus/ico next to this script)
       fuzz/make-seeds.py file [output-dir]   (default: fuzz/corpus/file)
       fuzz/make-seeds.py load [output-dir]   (default: fuzz/corpus/load)
       fuzz/make-seeds.py png [output-dir]    (default: fuzz/corpus/png)

Standard library only; the output is deterministic, so re-running it reproduces the
committed seeds byte for byte.
"""

import os
import struct
import sys
import zlib


def picture(size, colours=0, alpha=False):
    """Top row first: a list of (a, r, g, b) and a list of 0/1 mask bits."""
    pixels, mask = [], []
    for y in range(size):
        for x in range(size):
            i = y * size + x
            if colours:
                k = (x * 3 + y * 5) % colours
                rgb = ((k * 37) & 0xFF, (k * 91) & 0xFF, (k * 53 + 17) & 0xFF)
            else:
                rgb = (x * 255 // (size - 1), y * 255 // (size - 1), (x * y) & 0xFF)
            hidden = i % 7 == 3
            a = 0 if hidden else 255
            if alpha and not hidden:
                a = 64 + (x + y) * 191 // (2 * size - 2)
            if hidden and not alpha:
                # Under the mask: black, or the first palette colour of a few-colour picture.
                rgb = (0, 0, 17) if colours else (0, 0, 0)
            pixels.append((a,) + rgb)
            mask.append(1 if hidden else 0)
    return pixels, mask


def stride(width, bits):
    return ((width * bits + 31) // 32) * 4


def dib(size, bits, colours=0, alpha=False, top_down=False, bitfields=False,
        core=False, omit_mask=False):
    """An icon image: bitmap header (height doubled), colour table, colour bits, AND mask."""
    pixels, mask = picture(size, colours, alpha)
    palette = []
    if bits <= 8:
        for p in pixels:
            if p[1:] not in palette:
                palette.append(p[1:])
        assert len(palette) <= (1 << bits)
        palette += [(0, 0, 0)] * ((1 << bits) - len(palette))
    xs, ms = stride(size, bits), stride(size, 1)
    height = -2 * size if top_down else 2 * size
    if core:
        out = bytearray(struct.pack('<IHhHH', 12, size, height, 1, bits))
    else:
        out = bytearray(struct.pack('<IiiHHIIiiII', 40, size, height, 1, bits,
                                    3 if bitfields else 0, (xs + ms) * size, 0, 0, 0, 0))
    if bitfields:
        masks = (0xF800, 0x07E0, 0x001F) if bits == 16 else (0xFF0000, 0xFF00, 0xFF)
        out += struct.pack('<III', *masks)
    for r, g, b in palette:
        out += bytes((b, g, r)) if core else bytes((b, g, r, 0))
    rows = range(size) if top_down else range(size - 1, -1, -1)
    for y in rows:
        row = bytearray(xs)
        for x in range(size):
            a, r, g, b = pixels[y * size + x]
            if bits <= 8:
                index = palette.index((r, g, b))
                bit = x * bits
                row[bit // 8] |= index << (8 - bits - bit % 8)
            elif bits == 16:
                if bitfields:
                    v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                else:
                    v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                row[x * 2:x * 2 + 2] = struct.pack('<H', v)
            elif bits == 24:
                row[x * 3:x * 3 + 3] = bytes((b, g, r))
            else:
                row[x * 4:x * 4 + 4] = bytes((b, g, r, a))
        out += row
    if not omit_mask:
        for y in rows:
            row = bytearray(ms)
            for x in range(size):
                if mask[y * size + x]:
                    row[x // 8] |= 0x80 >> (x % 8)
            out += row
    return bytes(out)


def png(size):
    """PNG bytes of the picture with alpha (8-bit RGBA, no filtering)."""
    pixels, _ = picture(size, alpha=True)
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            a, r, g, b = pixels[y * size + x]
            raw += bytes((r, g, b, a))

    def chunk(tag, body):
        return (struct.pack('>I', len(body)) + tag + body +
                struct.pack('>I', zlib.crc32(tag + body) & 0xFFFFFFFF))

    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(bytes(raw), 9)) +
            chunk(b'IEND', b''))


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_of(width, height, colour_type, depth, interlaced=False, gamma=False):
    """PNG bytes of any colour type and depth: deterministic samples, tRNS where the type
    takes one, optionally Adam7-interlaced and with a gAMA chunk of 1.0."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    top = (1 << depth) - 1

    def sample(x, y, c):
        return ((x * 7 + y * 13 + c * 29) * 2654435761 >> 9) & top

    def row(y, xs):
        bits = []
        for x in xs:
            for c in range(channels):
                bits.append(sample(x, y, c))
        out = bytearray()
        if depth >= 8:
            for v in bits:
                out += v.to_bytes(depth // 8, 'big')
        else:
            acc, n = 0, 0
            for v in bits:
                acc = (acc << depth) | v
                n += depth
                if n == 8:
                    out.append(acc)
                    acc, n = 0, 0
            if n:
                out.append(acc << (8 - n))
        return b'\0' + bytes(out)

    raw = bytearray()
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        xs = range(x0, width, dx)
        if len(xs) == 0:
            continue
        for y in range(y0, height, dy):
            raw += row(y, xs)

    def chunk(tag, body):
        return (struct.pack('>I', len(body)) + tag + body +
                struct.pack('>I', zlib.crc32(tag + body) & 0xFFFFFFFF))

    extra = b''
    if gamma:
        extra += chunk(b'gAMA', struct.pack('>I', 100000))
    if colour_type == 3:
        extra += chunk(b'PLTE', bytes((i * 37 + 5) & 0xFF for i in range(3 * (top + 1))))
        extra += chunk(b'tRNS', bytes((0, 128, 200)[:top + 1]))
    elif colour_type in (0, 2):
        extra += chunk(b'tRNS', b''.join(sample(0, 0, c).to_bytes(2, 'big') for c in range(channels)))
    return (b'\x89PNG\r\n\x1a\n' +
            chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour_type, 0, 0,
                                       1 if interlaced else 0)) +
            extra + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def with_colour_table(data, count):
    """A truecolour DIB with `count` colour table entries before its pixels."""
    out = bytearray(data)
    out[32:36] = struct.pack('<I', count)
    return bytes(out[:40] + bytes(4 * count) + out[40:])


def alpha_bitfields(data):
    """A 32-bit DIB stored with four masks (alpha included) after its 40-byte header."""
    out = bytearray(data)
    out[16:20] = struct.pack('<I', 6)
    return bytes(out[:40] + struct.pack('<IIII', 0xFF0000, 0xFF00, 0xFF, 0xFF000000) + out[40:])


def unpadded_mask(size, bits):
    """A DIB whose mask rows are not padded to 32 bits, as some writers store them."""
    data = dib(size, bits, omit_mask=True)
    _, mask = picture(size)
    out = bytearray(data)
    for y in range(size - 1, -1, -1):
        row = bytearray((size + 7) // 8)
        for x in range(size):
            if mask[y * size + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def ico(images):
    """An .ico file: header, one 16-byte entry per image, then the images back to back."""
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = (1 << bits) if bits < 8 else 0
        out += struct.pack('<BBBBHHII', size & 0xFF, size & 0xFF, colours, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


SEEDS = {
    'dib-1bit-16.ico': [(16, 1, dib(16, 1, colours=2))],
    'dib-4bit-16.ico': [(16, 4, dib(16, 4, colours=12))],
    'dib-8bit-16.ico': [(16, 8, dib(16, 8, colours=40))],
    'dib-24bit-16.ico': [(16, 24, dib(16, 24))],
    'dib-32bit-16.ico': [(16, 32, dib(16, 32, alpha=True))],
    'png-16.ico': [(16, 32, png(16))],
    # The less common layouts together: 16-bit 5-6-5 masks, 16-bit 5-5-5, the old 12-byte
    # header, rows stored top-down, 32-bit with colour masks, 32-bit without its AND mask,
    # and a PNG last.
    'mixed-8.ico': [
        (8, 16, dib(8, 16, bitfields=True)),
        (8, 16, dib(8, 16)),
        (8, 4, dib(8, 4, colours=9, core=True)),
        (8, 8, dib(8, 8, colours=20, top_down=True)),
        (8, 32, dib(8, 32, alpha=True, bitfields=True)),
        (8, 32, dib(8, 32, alpha=True, omit_mask=True)),
        (8, 32, png(8)),
    ],
    # PNG entries of every colour type at 16 and at small bit depths, interlaced or not,
    # with a gAMA chunk that must not change the samples.
    'png-kinds-9.ico': [
        (9, 64, png_of(9, 9, 6, 16, interlaced=True)),
        (9, 48, png_of(9, 9, 2, 16, gamma=True)),
        (9, 4, png_of(9, 9, 0, 4, interlaced=True, gamma=True)),
        (9, 2, png_of(9, 9, 3, 2)),
        (9, 16, png_of(9, 9, 4, 8, interlaced=True)),
    ],
    # Truecolour bitmaps with colour tables, alpha in four masks, masks unpadded or left out.
    'dib-variants-12.ico': [
        (12, 24, with_colour_table(dib(12, 24), 5)),
        (12, 32, with_colour_table(dib(12, 32, alpha=True), 2)),
        (12, 32, alpha_bitfields(dib(12, 32, alpha=True))),
        (12, 24, unpadded_mask(12, 24)),
        (12, 24, dib(12, 24, omit_mask=True)),
    ],
}


def overlapping():
    """An .ico file whose two entries cover nearly all of it, header included: reading it keeps
    the file's bytes rather than copies of the images."""
    data = bytearray(ico([(8, 32, png(8))]))
    entry = struct.pack('<BBBBHHII', 8, 8, 0, 0, 1, 32, len(data) + 16 - 1, 1)
    data[4:6] = struct.pack('<H', 2)
    data[6 + 16:6 + 16] = entry
    struct.pack_into('<I', data, 6 + 12, 6 + 32)  # the first entry's image moves down
    return bytes(data)


# Names the files are passed under: plain, with characters a URI escapes, with a colon (read as
# a scheme when "://" follows), not UTF-8, Chinese, a leading dot, and none at all.
FILE_NAMES = [b'icon.ico', b'a b%20c.ico', b'file:x.ico', b'http://host/x.ico', b'\xff\xfe.ico',
              '图标.ico'.encode(), b'.hidden', b'', b'..', b'a/b.dll']


def file_seed(how, share, name, data):
    return bytes([how, share, len(name)]) + name + data


def file_seeds(target, here):
    """The file_fuzz seeds: every argument form (bits 0-1 of the first byte), escaping choice
    (bits 2-3, 7) and output kind (bits 4-6) comes up, and budgets below, at and above a
    picture's needs."""
    files = [(name, ico(images)) for name, images in SEEDS.items()]
    files.append(('overlapping.ico', overlapping()))
    for kind in ('pe', 'ne'):
        folder = os.path.join(here, 'corpus', kind)
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), 'rb') as f:
                files.append((name, f.read()))
    shares = (0, 63, 64, 100, 128, 255)
    for i, (name, data) in enumerate(files):
        how = (i % 4) | ((i // 4 % 2) << 2) | ((i // 2 % 2) << 3) | ((i % 7) << 4) | ((i // 3 % 2) << 7)
        seed = file_seed(how, shares[i % len(shares)], FILE_NAMES[i % len(FILE_NAMES)], data)
        with open(os.path.join(target, 'file-' + name), 'wb') as f:
            f.write(seed)
        print(f'file-{name}: {len(seed)} bytes')


# Translations for format_fuzz: well-formed ones, numbered and starred directives, flags and
# widths, and the ones the check must refuse (%n, sixteen %s).
FORMAT_SEEDS = {
    'format-plain-s.txt': 'Unknown command %s',
    'format-two-s.txt': 'Cannot open file "%s". %s',
    'format-three-d.txt': 'Image %d x %d - %dbit cannot be decoded',
    'format-numbered.txt': '%2$s := %1$s',
    'format-stars.txt': '%*d|%.*s|%2$*1$d',
    'format-flags.txt': "100%% %-+ #0'5.2f %lu %zu %m",
    'format-n.txt': '(%lu bytes)%n',
    'format-sixteen-s.txt': '%s' * 16,
}
# load_fuzz: the first byte's fields, and where a file past one piece puts its copy.
ENGLISH = 1
AS_IS, PAST_ONE_PIECE, PAST_WHOLE_READ, REPEATED = (n << 1 for n in range(4))
CANCEL, INTERRUPT, SHORT, END = (n << 3 for n in range(4))
PIECE = 4 << 20  # one piece of a direct read


def copy_at(shift):
    """Where a file past one piece holds the copy of the input."""
    return PIECE - 0x8000 + shift


def moved_ico(images, by):
    """An .ico file whose entries point `by` bytes further than its images lie, at a copy of it."""
    data = bytearray(ico(images))
    for i in range(len(images)):
        at = 6 + 16 * i + 12
        struct.pack_into('<I', data, at, struct.unpack_from('<I', data, at)[0] + by)
    return bytes(data)


def pe_layout(data):
    """The PE file's section table (offset of each 40-byte record) and its resources' address."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    sections, optional_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from('<H', data, optional)[0] == 0x10B else 112)
    resource_rva = struct.unpack_from('<I', data, directories + 2 * 8)[0]
    table = optional + optional_size
    return [table + 40 * k for k in range(sections)], resource_rva


def grown_pe_icon(data, size):
    """The PE file with its first icon resource (RT_ICON) claiming `size` bytes, its section and
    every group's entry for it as many (a resource reaches no further than its section's bytes,
    an image no further than its entry says)."""
    data = bytearray(data)
    sections, resource_rva = pe_layout(data)

    def offset_of(rva):
        for record in sections:
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from('<IIII', data, record + 8)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return rva - vaddr + raw_ptr
        raise ValueError('no section holds the resources')

    root = offset_of(resource_rva)

    def first_entry(directory, wanted=None):
        named, ids = struct.unpack_from('<HH', data, directory + 12)
        for k in range(named + ids):
            name, target = struct.unpack_from('<II', data, directory + 16 + 8 * k)
            if wanted is None or name == wanted:
                return root + (target & 0x7FFFFFFF)
        raise ValueError('no such resource')

    entry = first_entry(first_entry(first_entry(root, 3)))  # RT_ICON, its first name, language
    struct.pack_into('<I', data, entry + 4, size)
    rva = struct.unpack_from('<I', data, entry)[0]
    for record in sections:
        vsize, vaddr, raw_size, raw_ptr = struct.unpack_from('<IIII', data, record + 8)
        if vaddr <= rva < vaddr + max(vsize, raw_size):
            reach = max(vsize, raw_size, rva - vaddr + size)
            struct.pack_into('<I', data, record + 8, reach)
            struct.pack_into('<I', data, record + 16, reach)
    icon_dir = first_entry(root, 3)
    icon_id = struct.unpack_from('<I', data, icon_dir + 16)[0]  # the first name's id
    def entries(directory):
        named, ids = struct.unpack_from('<HH', data, directory + 12)
        return [root + (struct.unpack_from('<I', data, directory + 20 + 8 * k)[0] & 0x7FFFFFFF)
                for k in range(named + ids)]

    for name in entries(first_entry(root, 14)):  # every group, in every language
        for language in entries(name):
            group = offset_of(struct.unpack_from('<I', data, language)[0])
            for k in range(struct.unpack_from('<H', data, group + 4)[0]):
                at = group + 6 + 14 * k
                if struct.unpack_from('<H', data, at + 12)[0] == icon_id:
                    struct.pack_into('<I', data, at + 8, size)
    return bytes(data)


def moved_pe_sections(data, by):
    """The PE file with its sections' bytes `by` bytes further on, past zeros: the resource
    directory then lies in another page than the headers."""
    data = bytearray(data)
    sections, _ = pe_layout(data)
    first = min(struct.unpack_from('<I', data, record + 20)[0] for record in sections)
    for record in sections:
        struct.pack_into('<I', data, record + 20, struct.unpack_from('<I', data, record + 20)[0] + by)
    return bytes(data[:first] + bytes(by) + data[first:])


def moved_ne_tables(data, by):
    """The NE file with everything after its 64-byte header `by` bytes further on, past zeros:
    the header stays in the first page, its tables and resources lie in later ones."""
    ne = struct.unpack_from('<H', data, 0x3C)[0]
    cut = ne + 0x40
    out = bytearray(data[:cut] + bytes(by) + data[cut:])
    for field in (0x04, 0x22, 0x24, 0x26, 0x28, 0x2A):  # tables, from the header
        value = struct.unpack_from('<H', out, ne + field)[0]
        if value >= 0x40:
            struct.pack_into('<H', out, ne + field, value + by)
    nonresident = struct.unpack_from('<I', out, ne + 0x2C)[0]  # from the file's start
    if nonresident >= cut:
        struct.pack_into('<I', out, ne + 0x2C, nonresident + by)
    table = ne + struct.unpack_from('<H', out, ne + 0x24)[0]
    shift = struct.unpack_from('<H', out, table)[0]
    assert by % (1 << shift) == 0
    at = table + 2
    while struct.unpack_from('<H', out, at)[0] != 0:
        count = struct.unpack_from('<H', out, at + 2)[0]
        for k in range(count):
            record = at + 8 + 12 * k
            struct.pack_into('<H', out, record, struct.unpack_from('<H', out, record)[0] + (by >> shift))
        at += 8 + 12 * count
    return bytes(out)


def load_seed(how, at, shift, size, data):
    return bytes([how, at]) + struct.pack('<H', shift) + bytes([size]) + data


def load_seeds(target, here):
    """The load_fuzz seeds: each language, layout and read event, with icons whose bytes lie past
    one piece of a direct read (an .ico file pointing into the copy, or into a later repetition,
    and a PE file whose icon resource is larger than a piece)."""
    def committed(kind, name):
        with open(os.path.join(here, 'corpus', kind, name), 'rb') as f:
            return f.read()

    straddling = 0x8000 - 600  # the copy begins 600 bytes before 4 MB: its images cross it
    repeated = ico(SEEDS['dib-8bit-16.ico'])
    seeds = {
        'ico-zh.bin': load_seed(AS_IS, 0, 0, 32, ico(SEEDS['png-16.ico'])),
        'ico-en.bin': load_seed(ENGLISH | AS_IS, 0, 0, 16, ico(SEEDS['mixed-8.ico'])),
        'ico-bad-size.bin': load_seed(ENGLISH | AS_IS, 0, 0, 255, ico(SEEDS['dib-4bit-16.ico'])),
        'ico-interrupted.bin': load_seed(INTERRUPT | AS_IS, 1, 0, 0xF0, ico(SEEDS['dib-24bit-16.ico'])),
        'ico-short.bin': load_seed(ENGLISH | SHORT | AS_IS, 1, 0, 16, ico(SEEDS['dib-8bit-16.ico'])),
        # Cancelled at the read that finds the end of the first file: the list stops before the
        # second.
        'ico-cancel-between-files.bin': load_seed(CANCEL | AS_IS, 2, 0, 16, ico(SEEDS['dib-1bit-16.ico'])),
        # The same at the end of the second: the list stops before the missing file.
        'ico-cancel-before-missing.bin': load_seed(ENGLISH | CANCEL | AS_IS, 4, 0, 16, ico(SEEDS['dib-1bit-16.ico'])),
        'ico-past-piece.bin': load_seed(ENGLISH | PAST_ONE_PIECE, 0, straddling, 48,
                                        moved_ico(SEEDS['dib-32bit-16.ico'], copy_at(straddling))),
        # Cancelled during the first piece of the whole read: the second is never read.
        'ico-past-piece-cancel.bin': load_seed(CANCEL | PAST_ONE_PIECE, 2, straddling, 16,
                                               moved_ico(SEEDS['dib-32bit-16.ico'], copy_at(straddling))),
        # Cancelled at the first page, before the whole read; interrupted and cut short in its
        # first piece.
        'ico-past-piece-cancel-first.bin': load_seed(ENGLISH | CANCEL | PAST_ONE_PIECE, 1, straddling, 16,
                                                     moved_ico(SEEDS['dib-32bit-16.ico'], copy_at(straddling))),
        'ico-past-piece-interrupted.bin': load_seed(INTERRUPT | PAST_ONE_PIECE, 2, straddling, 16,
                                                    moved_ico(SEEDS['png-16.ico'], copy_at(straddling))),
        'ico-past-piece-short.bin': load_seed(ENGLISH | SHORT | PAST_ONE_PIECE, 2, straddling, 16,
                                              moved_ico(SEEDS['dib-24bit-16.ico'], copy_at(straddling))),
        'ico-repeated.bin': load_seed(REPEATED, 0, 0xFFFF, 16,
                                      moved_ico(SEEDS['dib-8bit-16.ico'], PIECE // len(repeated) * len(repeated))),
        'ico-past-whole.bin': load_seed(ENGLISH | PAST_WHOLE_READ, 0, 0, 16, ico(SEEDS['dib-1bit-16.ico'])),
        'pe-en.bin': load_seed(ENGLISH | AS_IS, 0, 0, 32, committed('pe', 'pe64-languages.dll')),
        'pe-cancel.bin': load_seed(CANCEL | AS_IS, 4, 0, 16, committed('pe', 'pe32-mixed.dll')),
        # Cancelled at the first page: the resource directory, in another page, is never read.
        'pe-cancel-directory.bin': load_seed(ENGLISH | CANCEL | AS_IS, 1, 0, 16,
                                             moved_pe_sections(committed('pe', 'pe32-filealign.dll'), 4096)),
        'pe-short.bin': load_seed(ENGLISH | SHORT | AS_IS, 3, 0, 0xFF, committed('pe', 'pe32-filealign.dll')),
        # An icon resource past one piece (the copy lies just after 4 MB, the file ends past it).
        'pe-large-icon.bin': load_seed(ENGLISH | PAST_ONE_PIECE, 0, 0xFFFF, 16,
                                       grown_pe_icon(committed('pe', 'pe32-mixed.dll'), PIECE + 0x10000)),
        'pe-large-icon-cancel.bin': load_seed(CANCEL | PAST_ONE_PIECE, 3, 0xFFFF, 16,
                                              grown_pe_icon(committed('pe', 'pe32-filealign.dll'), PIECE + 0x10000)),
        'ne-zh.bin': load_seed(AS_IS, 0, 0, 32, committed('ne', 'three.icl')),
        'ne-past-piece-cancel.bin': load_seed(ENGLISH | CANCEL | PAST_ONE_PIECE, 3, 0x100, 0x80,
                                              committed('ne', 'mixed.icl')),
        # Cancelled at the first page: the resource table, in another page, is never counted.
        'ne-cancel-table.bin': load_seed(ENGLISH | CANCEL | AS_IS, 1, 0, 16,
                                         moved_ne_tables(committed('ne', 'three.icl'), 4096)),
        'ne-past-whole.bin': load_seed(PAST_WHOLE_READ, 0, 0, 16, committed('ne', 'one.icl')),
        'ne-end.bin': load_seed(ENGLISH | END | AS_IS, 2, 0, 16, committed('ne', 'three.icl')),
    }
    for name, seed in seeds.items():
        with open(os.path.join(target, name), 'wb') as f:
            f.write(seed)
        print(f'{name}: {len(seed)} bytes')


def png_seed(width, height, flags, values):
    return struct.pack('<HHB', width, height, flags) + b''.join(struct.pack('<I', v) for v in values)


def png_seeds(target):
    """The png_fuzz seeds: pictures at libpng's defaults (up to 256 x 256 pixels), past them,
    at the largest width and height, with and without alpha, and ones the writer refuses."""
    ALPHA, NOISY, BROKEN = 1, 2, 4
    gradient = [((x * 16) << 24) | (x * 0x010203) for x in range(16)]
    seeds = {
        'one.bin': png_seed(1, 1, ALPHA, [0x80FF0000]),
        'gradient-16.bin': png_seed(16, 16, ALPHA, gradient),
        'masked-32.bin': png_seed(32, 32, 0, [0xFF123456, 0x00ABCDEF, 0x7F000000]),
        'noisy-256.bin': png_seed(256, 256, ALPHA | NOISY, [0]),
        'noisy-257x256.bin': png_seed(257, 256, ALPHA | NOISY, [0x12345678]),
        'wide-4096.bin': png_seed(4096, 1, NOISY, [0xFF00FF00]),
        'tall-4096.bin': png_seed(1, 4096, ALPHA, gradient),
        'too-wide.bin': png_seed(4097, 1, ALPHA, [0xFFFFFFFF]),
        'no-height.bin': png_seed(8, 0, ALPHA, [0xFFFFFFFF]),
        'short-values.bin': png_seed(8, 8, ALPHA | BROKEN, gradient),
    }
    for name, seed in seeds.items():
        with open(os.path.join(target, name), 'wb') as f:
            f.write(seed)
        print(f'{name}: {len(seed)} bytes')


# Programs for work_service_fuzz (see WorkServiceFuzz.cpp for the reading of each byte).
def work_count(n):
    """The byte that reads as a count of n: n itself below 12, else one with the high bit set."""
    return n if n < 12 else next(b for b in range(128, 256) if b % 97 == n)


class WorkProgram:
    """The bytes of one program: the set-up byte, the first list of icons, then operations."""

    def __init__(self, threads=0, icons=(1, 2, 3, 4)):
        # bit 0: a second phase on threads; the rest: its number of threads
        setup = 0 if threads == 0 else 1 | ((threads - 1) << 1)
        self.out = bytearray([setup, work_count(len(icons))] + list(icons))

    def op(self, *values):
        self.out += bytes(values)
        return self

    # the first phase (manual mode)
    def create(self, slot, concurrent=0, reads=False):
        return self.op(0, slot, concurrent | (4 if reads else 0))

    def end(self, slot):
        return self.op(1, slot)

    def post(self, slot, steps=0, reporting=False, posts_more=False, action=0, target=0, at=0):
        shape = steps | (8 if reporting else 0) | (0x10 if posts_more else 0)
        return self.op(2, slot, shape, action | (target << 2) | (at << 4))

    def abandon(self, slot):
        return self.op(4, slot)

    def run_one(self):
        return self.op(5)

    def drain(self):
        return self.op(6)

    def events(self):
        return self.op(7)

    def model(self, op, *values):
        return self.op(8, op, *values)

    def threads(self):
        return self.op(0x83)

    # the second phase (threads)
    def t_create(self, slot, concurrent=0, reads=False):
        return self.op(0, slot, concurrent | (4 if reads else 0))

    def t_post(self, slot, steps=0, reporting=False, action=0, target=0, at=0):
        return self.op(2, slot, steps | (8 if reporting else 0), action | (target << 2) | (at << 4))

    def t_op(self, code, *values):
        return self.op(code, *values)


def work_seeds():
    # channels of every concurrency and kind, plain and reporting work, abandon, run one by one
    channels = WorkProgram()
    for slot in range(4):
        channels.create(slot, slot % 3, slot == 3)
    for slot in range(4):
        channels.post(slot).post(slot, 3, True).post(slot, 1, True, True)
    channels.run_one().abandon(1).run_one().post(1, 2, True).drain().end(2).drain()

    # steps that abandon, post on and end channels, their own and others'
    steps = WorkProgram()
    steps.create(0, 1).create(1, 0).create(2, 2, True)
    steps.post(0, 3, True, action=1, target=0, at=1)   # abandons its own channel midway
    steps.post(0, 1, True)
    steps.post(1, 2, True, action=2, target=0, at=2)   # posts on another channel
    steps.post(2, 1, True, action=3, target=2, at=0)   # ends its own channel
    steps.post(1, 0, action=3, target=0)               # ends another channel
    steps.run_one().run_one().drain().create(0, 1).post(0, 4, True, True).drain()

    # the model: the band moved, rows removed, refilled, appended, shown, its budget held
    model = WorkProgram(icons=(1, 1, 2, 5, 0, 3, 4, 6, 7, 8, 2, 1))
    model.model(0, 2, 4).run_one().model(0, 0, 6).drain()
    model.model(1, 3, 1, 4, 0).drain()
    model.model(3, 3, 1, 5, 0).model(4).model(0, 0, 20).drain()
    model.model(6).model(0, 6, 5).drain().model(6).drain()
    model.model(2, 4, 2, 2, 6, 0).model(0, 1, 3).run_one().model(1, 1, 2).drain()
    model.model(7).model(5).drain()

    # rows removed scattered over a long list: more runs than notices, one reset
    long = WorkProgram(icons=[1 + i % 8 for i in range(90)])
    long.model(0, 10, 22).run_one().run_one()
    long.model(1, work_count(40), *range(0, 80, 2)).drain().model(0, 0, 30).drain()

    # the model and channels sharing the service, decodes run one by one between the rest
    mixed = WorkProgram(icons=(1, 2, 3, 4, 5, 6))
    mixed.create(0, 1).model(0, 2, 4).post(0, 2, True).run_one().model(0, 8, 4).run_one()
    mixed.abandon(0).run_one().model(1, 2, 2, 3).events().drain()

    # both phases: channels on two threads, reads abandoned while running
    threads = WorkProgram(threads=2)
    threads.create(0, 1).post(0, 2, True).drain().threads()
    threads.t_create(0, 1).t_create(1, 0, True).t_create(2, 2)
    for _ in range(3):
        threads.t_post(0, 2, True).t_post(1, 1, True).t_post(2)
    threads.t_post(0, 1, True, action=1, target=1, at=0).t_op(5).t_op(4, 1).t_post(1)
    threads.t_post(2, 2, True, action=3, target=2, at=1).t_op(5).t_op(1, 0)

    return {
        'work-channels.bin': channels.out,
        'work-steps.bin': steps.out,
        'work-model.bin': model.out,
        'work-long-list.bin': long.out,
        'work-mixed.bin': mixed.out,
        'work-threads.bin': threads.out,
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1 and sys.argv[1] == 'format':
        target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, 'corpus', 'format')
        os.makedirs(target, exist_ok=True)
        for name, text in FORMAT_SEEDS.items():
            with open(os.path.join(target, name), 'wb') as f:
                f.write(text.encode())
            print(f'{name}: {len(text)} bytes')
        return
    if len(sys.argv) > 1 and sys.argv[1] == 'work':
        target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, 'corpus', 'work')
        os.makedirs(target, exist_ok=True)
        for name, data in work_seeds().items():
            with open(os.path.join(target, name), 'wb') as f:
                f.write(data)
            print(f'{name}: {len(data)} bytes')
        return
    if len(sys.argv) > 1 and sys.argv[1] in ('file', 'load', 'png'):
        target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, 'corpus', sys.argv[1])
        os.makedirs(target, exist_ok=True)
        if sys.argv[1] == 'file':
            file_seeds(target, here)
        elif sys.argv[1] == 'load':
            load_seeds(target, here)
        else:
            png_seeds(target)
        return
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, 'corpus', 'ico')
    os.makedirs(target, exist_ok=True)
    for name, images in SEEDS.items():
        data = ico(images)
        with open(os.path.join(target, name), 'wb') as f:
            f.write(data)
        print(f'{name}: {len(data)} bytes')


if __name__ == '__main__':
    main()
