#!/usr/bin/env python3
"""Makes the file tree that bench/compare-search.sh walks and scans.

    make-tree.py ROOT PHRASE [--files N] [--folders N] [--seed S]

ROOT must not exist yet. Writes N files (default 100,000) into N folders (default 5,000) nested
three levels deep under ROOT, then prints one line "files F folders D bytes B" and writes
ROOT.expected: the full path of every file holding PHRASE (any ASCII case), sorted bytewise.

The files are small and of varied size (0 to 8 KB, most of them text, some binary). About one
in a hundred holds the phrase, in one of several spellings of case, at its start, its end or
somewhere between (some across a 4 KB boundary); about as many hold near misses that must not
match (the phrase cut short, broken by a space, a line break or another character). A dozen
larger files (up to 1 MB) put the phrase across, just before and just after the 61,440- and
262,144-byte boundaries (and twice 262,144), as the last bytes of a file, and a few put a near
miss there. Folder names include spaces, upper case and UTF-8; some file names are hidden
(a leading dot), some have no extension.

Everything comes from a seeded generator, so two runs with the same arguments make the same
tree (time stamps apart).
"""

import argparse
import os
import random
import sys


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("root")
    ap.add_argument("phrase")
    ap.add_argument("--files", type=int, default=100_000)
    ap.add_argument("--folders", type=int, default=5_000)
    ap.add_argument("--seed", type=int, default=20240611)
    args = ap.parse_args()

    phrase = args.phrase.encode()
    if len(phrase) < 4 or not phrase.isascii():
        print("make-tree: the phrase must be ASCII, at least 4 characters", file=sys.stderr)
        return 2
    if args.folders < 111 or args.files < args.folders:
        print("make-tree: at least 111 folders and as many files as folders", file=sys.stderr)
        return 2
    root = os.path.abspath(args.root)
    if os.path.exists(root):
        print(f"make-tree: {root} exists already", file=sys.stderr)
        return 2
    rng = random.Random(args.seed)

    # --- folders: 10 at the top, 10 in each of those, the rest spread over the second level.
    top = [f"area{i}" for i in range(10)]
    top[3] = "Area 3 (copy)"
    top[7] = "AREA7"
    folders = []  # relative paths, every level
    second = []
    for t in top:
        folders.append(t)
        for j in range(10):
            name = f"sub{j:02d}" if j % 4 else f"Sub_{j:02d}"
            second.append(f"{t}/{name}")
    folders.extend(second)
    leaves = args.folders - len(folders)
    for k in range(leaves):
        parent = second[k % len(second)]
        style = k % 23
        if style == 0:
            name = f"leaf {k:04d} old"
        elif style == 1:
            name = f"图标{k:04d}"
        elif style == 2:
            name = f"LEAF{k:04d}.d"
        else:
            name = f"leaf{k:04d}"
        folders.append(f"{parent}/{name}")
    for f in folders:
        os.makedirs(os.path.join(root, f))

    # --- contents: slices of a text pool and of a binary pool, neither holding the phrase.
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(400)]
    text = bytearray()
    while len(text) < (1 << 20):
        text += rng.choice(words).encode()
        text += b"\n" if rng.random() < 0.1 else b" "
    binary = bytearray(rng.randbytes(1 << 18))
    lowered = phrase.lower()
    for pool in (text, binary):
        at = bytes(pool).lower().find(lowered[:6])
        while at >= 0:  # break any chance occurrence of the phrase's start
            pool[at] = 0x20
            at = bytes(pool).lower().find(lowered[:6])

    def spelling() -> bytes:
        c = rng.randrange(4)
        if c == 0:
            return phrase.lower()
        if c == 1:
            return phrase.upper()
        if c == 2:
            return phrase.lower().capitalize()
        return bytes((ch ^ 0x20) if (chr(ch).isalpha() and i % 2) else ch for i, ch in enumerate(phrase.lower()))

    def near_miss() -> bytes:
        p = phrase.lower()
        c = rng.randrange(4)
        if c == 0:
            return p[:-1] + b" "  # cut short
        if c == 1:
            mid = len(p) // 2
            return p[:mid] + b"\n" + p[mid:]  # broken by a line break
        if c == 2:
            return p[:3] + b" " + p[3:]  # a space inside
        return p[:-1] + b"#"  # the last character wrong

    def body(size: int) -> bytearray:
        pool = binary if rng.random() < 0.2 else text
        if size == 0:
            return bytearray()
        start = rng.randrange(len(pool) - size)
        return bytearray(pool[start:start + size])

    def put(data: bytearray, offset: int, piece: bytes) -> None:
        if len(data) < offset + len(piece):
            data.extend(b" " * (offset + len(piece) - len(data)))
        data[offset:offset + len(piece)] = piece

    expected = []
    total_bytes = 0

    def write(rel: str, data) -> None:
        nonlocal total_bytes
        with open(os.path.join(root, rel), "wb") as f:
            f.write(data)
        total_bytes += len(data)

    # --- the larger files: (name, size, [(offset, piece)], holds the phrase)
    P = phrase
    n = len(P)
    big = [
        ("big-61440-across.bin", 200_000, [(61440 - n // 2, spelling())], True),
        ("big-61440-before.txt", 100_000, [(61440 - n, spelling())], True),
        ("big-61440-after.txt", 100_000, [(61440, spelling())], True),
        ("big-61440-split-one.dat", 70_000, [(61440 - 1, P.upper())], True),
        ("big-262144-across.bin", 600_000, [(262144 - n // 2, spelling())], True),
        ("big-262144-before.txt", 300_000, [(262144 - n, spelling())], True),
        ("big-262144-after.txt", 300_000, [(262144, spelling())], True),
        ("big-262144-split-last.dat", 270_000, [(262144 - n + 1, P.lower())], True),
        ("big-524288-across.bin", 1_000_000, [(2 * 262144 - 3, spelling())], True),
        ("BIG-TAIL.TXT", 700_000, [(700_000 - n, spelling())], True),
        ("big-head.txt", 400_000, [(0, spelling())], True),
        ("big-misses-at-bounds.bin", 800_000,
         [(61440 - n // 2, near_miss()), (262144 - n // 2, near_miss()), (524288 - 4, near_miss())], False),
        ("big-cut-at-262144.txt", 262144, [(262144 - (n - 1), P[:-1])], False),
        ("big-none.bin", 1_000_000, [], False),
    ]
    big_folder = folders[-1]
    for name, size, pieces, holds in big:
        data = bytearray()
        while len(data) < size:
            data += body(min(size - len(data), 1 << 16))
        for offset, piece in pieces:
            put(data, offset, piece)
        del data[size:]
        rel = f"{big_folder}/{name}"
        write(rel, data)
        if holds:
            expected.append(rel)

    # --- small edge cases
    edge = [
        ("exactly-the-phrase", P, True),
        ("phrase-less-one", P[:-1], False),
        ("empty-file", b"", False),
        ("one-byte", b"n", False),
    ]
    for name, data, holds in edge:
        rel = f"{folders[-2]}/{name}"
        write(rel, data)
        if holds:
            expected.append(rel)

    # --- the bulk
    exts = [".txt", ".dat", ".log", ".ico", ".bin", "", ".TXT", ".c", ".h", ".json", ".Md", ".cfg"]
    bulk = args.files - len(big) - len(edge)
    for j in range(bulk):
        folder = folders[rng.randrange(len(folders))]
        r = rng.random()
        if r < 0.05:
            size = 0
        elif r < 0.2:
            size = rng.randint(1, 512)
        else:
            size = rng.randint(512, 8192)
        ext = exts[j % len(exts)]
        stem = f"file{j:06d}" if j % 17 else f"File_{j:06d}_Copy"
        name = ("." + stem if j % 53 == 0 else stem) + ext
        data = body(size)
        holds = False
        r = rng.random()
        if r < 0.01:
            piece = spelling()
            where = rng.randrange(5)
            if where == 0 or len(data) <= n:
                offset = 0
            elif where == 1:
                offset = len(data) - n
            elif where == 2 and len(data) > 4096 + n:
                offset = 4096 - n // 2  # across a page
            else:
                offset = rng.randrange(len(data) - n + 1)
            put(data, offset, piece)
            holds = True
        elif r < 0.02:
            miss = near_miss()
            put(data, rng.randrange(max(1, len(data) - len(miss) + 1)), miss)
        rel = f"{folder}/{name}"
        write(rel, data)
        if holds:
            expected.append(rel)

    with open(root + ".expected", "wb") as f:
        for p in sorted(os.path.join(root, rel).encode() for rel in expected):
            f.write(p + b"\n")
    print(f"files {args.files} folders {len(folders)} bytes {total_bytes}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
