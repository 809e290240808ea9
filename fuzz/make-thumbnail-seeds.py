#!/usr/bin/env python3
"""Writes the seed corpus of the thumbnail_fuzz target: every seed of the .ico, PE and NE
targets, and .ico files holding one PNG entry of each colour type, bit depth and interlace,
each behind the two bytes that choose the thumbnail's size.

Usage: fuzz/make-thumbnail-seeds.py [output-dir]   (default: fuzz/corpus/thumbnail)

Standard library only; the output is deterministic.
"""

import importlib.util
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
loader = importlib.util.spec_from_file_location('make_seeds', os.path.join(HERE, 'make-seeds.py'))
seeds = importlib.util.module_from_spec(loader)
loader.loader.exec_module(seeds)

# Sizes the seeds ask for: exact, smaller, larger and a non-power of two.
SIZES = (16, 32, 48, 256, 100)

PNG_KINDS = [(0, d) for d in (1, 2, 4, 8, 16)] + [(4, 8), (4, 16), (2, 8), (2, 16), (6, 8), (6, 16)] + \
            [(3, d) for d in (1, 2, 4, 8)]


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, 'corpus', 'thumbnail')
    os.makedirs(target, exist_ok=True)
    n = 0

    def write(name, size, data):
        nonlocal n
        with open(os.path.join(target, name), 'wb') as f:
            f.write(struct.pack('<H', size - 1) + data)
        n += 1

    for kind in ('ico', 'pe', 'ne'):
        folder = os.path.join(HERE, 'corpus', kind)
        for i, name in enumerate(sorted(os.listdir(folder))):
            with open(os.path.join(folder, name), 'rb') as f:
                write(f'{kind}-{name}', SIZES[i % len(SIZES)], f.read())
    for i, (colour_type, depth) in enumerate(PNG_KINDS):
        for interlaced in (False, True):
            png = seeds.png_of(11, 7, colour_type, depth, interlaced=interlaced, gamma=i % 2 == 0)
            data = seeds.ico([(11, depth * {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type], png)])
            write(f'png-t{colour_type}-{depth}{"-i" if interlaced else ""}.ico', SIZES[i % len(SIZES)], data)
    print(f'{n} seeds in {target}')


if __name__ == '__main__':
    main()
