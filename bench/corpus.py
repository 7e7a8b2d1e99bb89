#!/usr/bin/env python3
"""Writes the benchmark corpus: deterministic text files of about 100 MB each.

Usage: corpus.py GLYPHMILL OUTDIR [MEGABYTES]

The plain files are made here from a seeded generator; the encoded files are
glyphmill's own encodings of the Latin-1 file, which is what its decoders are
fed in practice, and of the entity-dense file (an entity in about every 20
bytes, a % in every 7 or fewer), and the DOS file in UTF-8 (cp437.utf8).
Files that exist with the right size are kept.
"""

import os
import random
import subprocess
import sys

SEED = 20030701
WORDS = (
    "the of and to in a is that for it as was with be by on not he this are or his from at which but have "
    "an they you were her she there been one all we their has would when if so no will more time about can "
    "said into them some could him only other then its out over new these may first any like now than "
    "people water little very after words called just where most know through back much before line right "
    "too means old same tell boy following came want show also around form three small set put end does "
    "another well large must big even such because turned here why asked went men read need land different "
    "home us move try kind hand picture again change off play spell air away animal house point page letter "
    "mother answer found study still learn should world high every near add food between own below country "
    "plant last school father keep tree never start city earth eyes light thought head under story saw left"
).split()
PUNCTUATION = [",", ",", ".", ".", ";", ":", "?", "!"]
# Bytes 0xA0 and up that have an HTML 4 entity of their own (no 0xA0 space,
# soft hyphen and the like, whose names differ between tools), mostly letters.
LATIN1_LETTERS = bytes(range(0xC0, 0x100))
LATIN1_SYMBOLS = bytes([0xA1, 0xA2, 0xA3, 0xA5, 0xA7, 0xA9, 0xAB, 0xB0, 0xB1, 0xBB, 0xBF])
# Code page 437: accented letters, and box drawing now and then.
CP437_LETTERS = bytes(range(0x80, 0xA6))
CP437_BOXES = bytes(range(0xB0, 0xE0))
BLOCK_LINES = 20000  # about 1.3 MB of distinct text, repeated to the size asked


def prose_lines(rng):
    """Sentences of common words in lines of 40 to 100 characters."""
    lines = []
    for _ in range(BLOCK_LINES):
        words = []
        length = 0
        target = rng.randint(40, 100)
        while length < target:
            word = rng.choice(WORDS)
            if not words or words[-1][-1] in ".?!":
                word = word.capitalize()
            if rng.random() < 0.12:
                word += rng.choice(PUNCTUATION)
            words.append(word)
            length += len(word) + 1
        lines.append(" ".join(words).encode("ascii"))
    return lines


def latin1_line(rng, line):
    """About 6% of the bytes from 0xA0 up, and now and then & < > " '."""
    out = bytearray()
    for byte in line:
        roll = rng.random()
        if roll < 0.055:
            out.append(rng.choice(LATIN1_LETTERS))
        elif roll < 0.06:
            out.append(rng.choice(LATIN1_SYMBOLS))
        elif roll < 0.064:
            out += rng.choice([b"&", b"<", b">", b'"', b"'"])
        else:
            out.append(byte)
    return bytes(out)


def dense_line(rng, line):
    """One byte in 14 from 0xA0 up or one of & < > " ': its entity encoding has
    an entity in about every 20 bytes, its URI encoding a % in fewer than 7."""
    out = bytearray()
    for byte in line:
        roll = rng.random()
        if roll < 1 / 14 * 0.8:
            out.append(rng.choice(LATIN1_LETTERS))
        elif roll < 1 / 14:
            out += rng.choice([b"&", b"<", b">", b'"', b"'"])
        else:
            out.append(byte)
    return bytes(out)


def cp437_line(rng, line):
    out = bytearray()
    for byte in line:
        roll = rng.random()
        if roll < 0.05:
            out.append(rng.choice(CP437_LETTERS))
        elif roll < 0.06:
            out.append(rng.choice(CP437_BOXES))
        else:
            out.append(byte)
    return bytes(out)


def whole_lines(block, size):
    """The size of the file: `size` cut back to the end of a line, so that a
    file never ends inside a CR LF pair (a file without lines is cut anywhere)."""
    tail = size % len(block)
    if b"\n" in block:
        tail = block.rfind(b"\n", 0, tail) + 1
    return size - size % len(block) + tail


def write_repeated(path, block, size):
    with open(path, "wb") as file:
        written = 0
        while written < size:
            part = block[: size - written]
            file.write(part)
            written += len(part)


def make_plain(outdir, size):
    rng = random.Random(SEED)
    lines = prose_lines(rng)
    blocks = {
        "prose_lf.txt": b"\n".join(lines) + b"\n",
        "prose_crlf.txt": b"\r\n".join(lines) + b"\r\n",
        "nolf.txt": b" ".join(lines) + b" ",
        "latin1.txt": b"\n".join(latin1_line(rng, line) for line in lines) + b"\n",
        "cp437.txt": b"\n".join(cp437_line(rng, line) for line in lines) + b"\n",
        "dense.txt": b"\n".join(dense_line(rng, line) for line in lines) + b"\n",
    }
    for name, block in blocks.items():
        path = os.path.join(outdir, name)
        if not is_ready(path, size):
            write_repeated(path, block, whole_lines(block, size))


def is_ready(path, size):
    return os.path.exists(path) and abs(os.path.getsize(path) - size) < size // 10


def make_encoded(glyphmill, outdir, size):
    for stem in ("latin1", "dense"):
        encode(glyphmill, outdir, stem)
    source, path = os.path.join(outdir, "cp437.txt"), os.path.join(outdir, "cp437.utf8")
    if not (os.path.exists(path) and os.path.getsize(path) >= os.path.getsize(source)):
        with open(source, "rb") as src, open(path, "wb") as dst:
            subprocess.run([glyphmill, "-q", "-a"], stdin=src, stdout=dst, check=True,
                           env=dict(os.environ, GLYPHMILL_CODEPAGES="437:utf-8"))


def encode(glyphmill, outdir, stem):
    """The entity-dense files (dense.*) load the decoders the way the speed
    targets ask: an entity in every 20 bytes, a % in every 7."""
    source = os.path.join(outdir, stem + ".txt")
    for name, option in ((stem + ".html", "-h"), (stem + ".xml", "-x"), (stem + ".uri", "-i")):
        path = os.path.join(outdir, name)
        if os.path.exists(path) and os.path.getsize(path) >= os.path.getsize(source):
            continue
        with open(source, "rb") as src, open(path, "wb") as dst:
            subprocess.run([glyphmill, "-q", option], stdin=src, stdout=dst, check=True)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    glyphmill, outdir = sys.argv[1], sys.argv[2]
    size = int(sys.argv[3] if len(sys.argv) == 4 else 100) * 1000 * 1000
    os.makedirs(outdir, exist_ok=True)
    make_plain(outdir, size)
    make_encoded(glyphmill, outdir, size)


if __name__ == "__main__":
    main()
