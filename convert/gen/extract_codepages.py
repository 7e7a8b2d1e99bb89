#!/usr/bin/env python3
"""Writes data/codepages/to_unicode.tsv and data/codepages/from_unicode.tsv
from Windows' code-page files, as Debian's libwine package ships them
(/usr/share/wine/nls/c_NNN.nls), for every single-byte page that Windows
gives a locale as its OEM or ANSI page.

    python3 convert/gen/extract_codepages.py /usr/share/wine/nls data/codepages
    python3 convert/gen/extract_codepages.py /usr/share/wine/nls data/codepages --check

Without libwine installed: apt-get download libwine && dpkg-deb -x libwine_*.deb
DIR, then pass DIR/usr/share/wine/nls. With --check it writes nothing and
fails when the files differ from what it would write; it exits with status
77 (the build's "skipped") when the .nls files are not there.

A single-byte .nls file holds, in little-endian 16-bit words: a header of 13
words (13, the page, 1, the default byte, the default character, ...), one
word, the page's 256 characters (byte to Unicode), a word that is 0 or 256
(then 256 glyph words follow), two zero words, then 65,536 bytes: Unicode to
the page, best fit included. Windows converts OEM to ANSI as
ansi.from_unicode[oem.to_unicode[byte]], and back the same way.

to_unicode.tsv: one row per byte from 0x80 up, one column per page (the lower
half is ASCII in every page, which the script checks). from_unicode.tsv: one
row per character that some page has in its upper half or that some OEM page
writes as a byte other than its default character (its best fit: what -a-
writes for UTF-8 text), one column per page: the byte that page writes for
it. Every other character becomes the default character, '?' in every page
(which the script checks).
"""
import os
import struct
import sys

import generated_files

OEM_PAGES = [437, 720, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865, 866, 869, 874, 1258]
ANSI_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]
PAGES = sorted(set(OEM_PAGES) | set(ANSI_PAGES))
SKIPPED = 77
DEFAULT_BYTE = 0x3F


def read_page(nls_dir, page):
    with open(os.path.join(nls_dir, f"c_{page}.nls"), "rb") as f:
        data = f.read()
    header = struct.unpack_from("<13H", data, 0)
    if header[0] != 13 or header[1] != page or header[2] != 1:
        sys.exit(f"c_{page}.nls: not a single-byte page file (header {header[:3]})")
    at = 2 * 13 + 2
    to_unicode = struct.unpack_from("<256H", data, at)
    at += 512
    (glyphs,) = struct.unpack_from("<H", data, at)
    at += 2 + (512 if glyphs == 256 else 0) + 4
    from_unicode = data[at:at + 65536]
    if len(from_unicode) != 65536:
        sys.exit(f"c_{page}.nls: the Unicode table is short")
    for byte in range(128):
        if to_unicode[byte] != byte or from_unicode[byte] != byte:
            sys.exit(f"c_{page}.nls: byte {byte:#04x} is not ASCII")
    if header[3] != DEFAULT_BYTE:
        sys.exit(f"c_{page}.nls: the default character is {header[3]:#04x}, not '?'")
    return to_unicode, from_unicode


def render(pages):
    columns = "\t".join(f"cp{page}" for page in PAGES)
    to_rows = [f"byte\t{columns}"]
    for byte in range(128, 256):
        to_rows.append(f"{byte:02x}\t" + "\t".join(f"{pages[p][0][byte]:04x}" for p in PAGES))
    characters = {pages[p][0][byte] for p in PAGES for byte in range(128, 256)}
    characters |= {ch for p in OEM_PAGES for ch in range(128, 65536) if pages[p][1][ch] != DEFAULT_BYTE}
    characters = sorted(characters)
    from_rows = [f"unicode\t{columns}"]
    for ch in characters:
        from_rows.append(f"{ch:04x}\t" + "\t".join(f"{pages[p][1][ch]:02x}" for p in PAGES))
    return {"to_unicode.tsv": "\n".join(to_rows) + "\n", "from_unicode.tsv": "\n".join(from_rows) + "\n"}


def main():
    args = sys.argv[1:]
    check = args[2:] == ["--check"]
    if len(args) != (3 if check else 2):
        sys.exit(__doc__)
    nls_dir, out_dir = args[0], args[1]
    if not os.path.isfile(os.path.join(nls_dir, "c_437.nls")):
        print(f"skipped: no Windows code-page files in {nls_dir} (install libwine to check the data against them)")
        sys.exit(SKIPPED if check else 1)
    files = render({page: read_page(nls_dir, page) for page in PAGES})
    generated_files.write_or_check(files, out_dir, nls_dir, check)


if __name__ == "__main__":
    main()
