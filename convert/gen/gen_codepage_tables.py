#!/usr/bin/env python3
"""Writes convert/generated/codepage_tables.h and .cpp from the
code-page data in data/codepages/ (see extract_codepages.py and
extract_locales.sh, which make it from Windows' own files):

- for every OEM page and every ANSI page, the bytes from 0x80 up of both
  conversions, composed as Windows composes them: OEM to ANSI is
  ansi.from_unicode[oem.to_unicode[byte]], ANSI to OEM the reverse. Bytes
  below 0x80 are ASCII in every page and map to themselves;
- for every OEM page, the character of each byte from 0x80 up, and every
  character from U+0080 up that the page writes as a byte other than its
  default character '?' (best fit included), for -a and -a- with UTF-8;
- every locale name Windows knows, lower case and sorted, with its pages.

    python3 convert/gen/gen_codepage_tables.py data/codepages convert/generated
    python3 convert/gen/gen_codepage_tables.py data/codepages convert/generated --check

With --check it writes nothing and fails when a file differs from what it
would write (the build runs this as a test).
"""
import os
import sys

import generated_files

OEM_PAGES = [437, 720, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865, 866, 869, 874, 1258]
ANSI_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258]
NAME_SIZE = 16
# Every generated file opens with its generator and the command that refreshes it.
FIRST_LINE = "// Generated, do not edit: python3 convert/gen/gen_codepage_tables.py data/codepages convert/generated"
DEFAULT_BYTE = 0x3F


def read_tsv(path):
    with open(path, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    return rows[0], rows[1:]


def read_pages(data_dir):
    heading, rows = read_tsv(os.path.join(data_dir, "to_unicode.tsv"))
    pages = [int(column[2:]) for column in heading[1:]]
    to_unicode = {page: {} for page in pages}
    for row in rows:
        for page, value in zip(pages, row[1:]):
            to_unicode[page][int(row[0], 16)] = int(value, 16)
    heading, rows = read_tsv(os.path.join(data_dir, "from_unicode.tsv"))
    from_unicode = {page: {} for page in pages}
    for row in rows:
        for page, value in zip(pages, row[1:]):
            from_unicode[page][int(row[0], 16)] = int(value, 16)
    return to_unicode, from_unicode


def compose(source, target, to_unicode, from_unicode):
    return [from_unicode[target][to_unicode[source][byte]] for byte in range(128, 256)]


def byte_rows(values):
    return ["        " + ", ".join(f"0x{v:02x}" for v in values[i:i + 16]) + "," for i in range(0, 128, 16)]


def pair_tables(name, outer, inner, direction, to_unicode, from_unicode):
    out = [f"const unsigned char {name}[{len(outer)}][{len(inner)}][128] = {{"]
    for source in outer:
        out.append("  {")
        for target in inner:
            oem, ansi = (source, target) if direction == "oem" else (target, source)
            out.append(f"    {{  // {source} -> {target}")
            out.extend(byte_rows(compose(source, target, to_unicode, from_unicode)))
            out.append("    },")
        out.append("  },")
        del oem, ansi
    out.append("};")
    return out


def unicode_tables(to_unicode, from_unicode):
    out = []
    for name, count, pages in (("kOemToUnicode", "kOemPageCount", OEM_PAGES),
                               ("kAnsiToUnicode", "kAnsiPageCount", ANSI_PAGES)):
        out.append(f"const uint16_t {name}[{count}][128] = {{")
        for page in pages:
            values = [to_unicode[page][byte] for byte in range(128, 256)]
            out.append(f"    {{  // {page}")
            out += ["        " + ", ".join(f"0x{v:04x}" for v in values[i:i + 8]) + "," for i in range(0, 128, 8)]
            out.append("    },")
        out.append("};")
        out.append("")
    entries, starts = [], []
    for page in OEM_PAGES:
        starts.append(len(entries))
        entries += [(ch, byte) for ch, byte in sorted(from_unicode[page].items()) if ch >= 0x80 and byte != DEFAULT_BYTE]
    starts.append(len(entries))
    out += ["const int kFromUnicodeStart[kOemPageCount + 1] = {" + ", ".join(map(str, starts)) + "};", ""]
    out.append("const FromUnicode kFromUnicode[kFromUnicodeCount] = {")
    for page, start, stop in zip(OEM_PAGES, starts, starts[1:]):
        out.append(f"    // {page}")
        page_entries = [f"{{0x{ch:04x}, 0x{byte:02x}}}," for ch, byte in entries[start:stop]]
        out += ["    " + " ".join(page_entries[i:i + 8]) for i in range(0, len(page_entries), 8)]
    out.append("};")
    rows = max(len({ch >> 8 for ch, _ in entries[start:stop]}) for start, stop in zip(starts, starts[1:]))
    return out, len(entries), rows


def read_locales(data_dir):
    _, rows = read_tsv(os.path.join(data_dir, "locales.tsv"))
    locales = sorted((name.lower(), int(oem), int(ansi)) for name, oem, ansi in rows)
    names = [name for name, _, _ in locales]
    if len(set(names)) != len(names):
        sys.exit("locales.tsv: a name is listed twice")
    for name, _, _ in locales:
        if len(name) >= NAME_SIZE or not all(c.isascii() and (c.isalnum() or c == "-") for c in name):
            sys.exit(f"locales.tsv: unexpected name {name!r}")
    return locales


def header(locales, from_unicode_count, from_unicode_rows):
    return "\n".join([
        FIRST_LINE,
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "// What Windows' OemToCharBuffA and CharToOemBuffA give for every pair of a",
        "// single-byte OEM page and a single-byte ANSI page, and the pages Windows",
        "// gives each of its locales. Internal to the converters library.",
        "namespace codepages::tables {",
        "",
        f"constexpr int kOemPageCount = {len(OEM_PAGES)};",
        f"constexpr int kAnsiPageCount = {len(ANSI_PAGES)};",
        f"constexpr int kLocaleCount = {len(locales)};",
        f"constexpr int kLocaleNameSize = {NAME_SIZE};",
        f"constexpr int kFromUnicodeCount = {from_unicode_count};",
        "// The most rows of 256 characters that the entries of one page touch, and",
        "// the byte a page writes for a character it lacks ('?' in every page).",
        f"constexpr int kFromUnicodeRows = {from_unicode_rows};",
        f"constexpr unsigned char kDefaultByte = 0x{DEFAULT_BYTE:02x};",
        "",
        "extern const uint16_t kOemPages[kOemPageCount];",
        "extern const uint16_t kAnsiPages[kAnsiPageCount];",
        "",
        "// Bytes 0x80 to 0xFF only: below them every page is ASCII, which both",
        "// conversions leave as it is.",
        "extern const unsigned char kOemToAnsi[kOemPageCount][kAnsiPageCount][128];",
        "extern const unsigned char kAnsiToOem[kAnsiPageCount][kOemPageCount][128];",
        "",
        "// What MultiByteToWideChar gives (default flags) for each OEM page's bytes",
        "// from 0x80 up, and what WideCharToMultiByte writes (default flags, best fit",
        "// included) for the characters from U+0080 up that a page writes as a byte",
        "// other than kDefaultByte: page i's are kFromUnicode[kFromUnicodeStart[i]]",
        "// up to kFromUnicode[kFromUnicodeStart[i + 1]], sorted by character. Every",
        "// other character becomes kDefaultByte.",
        "extern const uint16_t kOemToUnicode[kOemPageCount][128];",
        "// The same for each ANSI page: a character converts exactly when the",
        "// target page's byte for it gives it back (GLYPHMILL_UNMAPPED).",
        "extern const uint16_t kAnsiToUnicode[kAnsiPageCount][128];",
        "struct FromUnicode {",
        "    uint16_t m_character;",
        "    unsigned char m_byte;",
        "};",
        "extern const int kFromUnicodeStart[kOemPageCount + 1];",
        "extern const FromUnicode kFromUnicode[kFromUnicodeCount];",
        "",
        "// A Windows locale name (\"de-de\", \"sr-latn-rs\"), lower case, and its",
        "// default pages; 65001 (UTF-8) for both where the locale has no ANSI page.",
        "struct LocalePages {",
        "    char m_name[kLocaleNameSize];",
        "    uint16_t m_oem;",
        "    uint16_t m_ansi;",
        "};",
        "",
        "// Sorted by name, byte by byte.",
        "extern const LocalePages kLocales[kLocaleCount];",
        "",
        "}  // namespace codepages::tables",
        "",
    ])


def source(to_unicode, from_unicode, locales, unicode_lines):
    out = [
        FIRST_LINE,
        "// Made from the code-page data in data/codepages/.",
        "",
        '#include "convert/generated/codepage_tables.h"',
        "",
        "// clang-format off",
        "namespace codepages::tables {",
        "",
        "const uint16_t kOemPages[kOemPageCount] = {" + ", ".join(map(str, OEM_PAGES)) + "};",
        "const uint16_t kAnsiPages[kAnsiPageCount] = {" + ", ".join(map(str, ANSI_PAGES)) + "};",
        "",
    ]
    out += pair_tables("kOemToAnsi", OEM_PAGES, ANSI_PAGES, "oem", to_unicode, from_unicode)
    out.append("")
    out += pair_tables("kAnsiToOem", ANSI_PAGES, OEM_PAGES, "ansi", to_unicode, from_unicode)
    out.append("")
    out += unicode_lines
    out.append("")
    out.append("const LocalePages kLocales[kLocaleCount] = {")
    out += [f'    {{"{name}", {oem}, {ansi}}},' for name, oem, ansi in locales]
    out.append("};")
    out += ["", "}  // namespace codepages::tables", "// clang-format on", ""]
    return "\n".join(out)


def main():
    args = sys.argv[1:]
    check = args[2:] == ["--check"]
    if len(args) != (3 if check else 2):
        sys.exit(__doc__)
    data_dir, out_dir = args[0], args[1]
    to_unicode, from_unicode = read_pages(data_dir)
    locales = read_locales(data_dir)
    unicode_lines, from_unicode_count, from_unicode_rows = unicode_tables(to_unicode, from_unicode)
    files = {
        "codepage_tables.h": header(locales, from_unicode_count, from_unicode_rows),
        "codepage_tables.cpp": source(to_unicode, from_unicode, locales, unicode_lines),
    }
    generated_files.write_or_check(files, out_dir, data_dir, check)


if __name__ == "__main__":
    main()
