// Generated, do not edit: python3 convert/gen/gen_codepage_tables.py data/codepages convert/generated
#pragma once

#include <cstdint>

// What Windows' OemToCharBuffA and CharToOemBuffA give for every pair of a
// single-byte OEM page and a single-byte ANSI page, and the pages Windows
// gives each of its locales. Internal to the converters library.
namespace codepages::tables {

constexpr int kOemPageCount = 18;
constexpr int kAnsiPageCount = 10;
constexpr int kLocaleCount = 1011;
constexpr int kLocaleNameSize = 16;
constexpr int kFromUnicodeCount = 7984;
// The most rows of 256 characters that the entries of one page touch, and
// the byte a page writes for a character it lacks ('?' in every page).
constexpr int kFromUnicodeRows = 17;
constexpr unsigned char kDefaultByte = 0x3f;

extern const uint16_t kOemPages[kOemPageCount];
extern const uint16_t kAnsiPages[kAnsiPageCount];

// Bytes 0x80 to 0xFF only: below them every page is ASCII, which both
// conversions leave as it is.
extern const unsigned char kOemToAnsi[kOemPageCount][kAnsiPageCount][128];
extern const unsigned char kAnsiToOem[kAnsiPageCount][kOemPageCount][128];

// What MultiByteToWideChar gives (default flags) for each OEM page's bytes
// from 0x80 up, and what WideCharToMultiByte writes (default flags, best fit
// included) for the characters from U+0080 up that a page writes as a byte
// other than kDefaultByte: page i's are kFromUnicode[kFromUnicodeStart[i]]
// up to kFromUnicode[kFromUnicodeStart[i + 1]], sorted by character. Every
// other character becomes kDefaultByte.
extern const uint16_t kOemToUnicode[kOemPageCount][128];
// The same for each ANSI page: a character converts exactly when the
// target page's byte for it gives it back (GLYPHMILL_UNMAPPED).
extern const uint16_t kAnsiToUnicode[kAnsiPageCount][128];
struct FromUnicode {
    uint16_t m_character;
    unsigned char m_byte;
};
extern const int kFromUnicodeStart[kOemPageCount + 1];
extern const FromUnicode kFromUnicode[kFromUnicodeCount];

// A Windows locale name ("de-de", "sr-latn-rs"), lower case, and its
// default pages; 65001 (UTF-8) for both where the locale has no ANSI page.
struct LocalePages {
    char m_name[kLocaleNameSize];
    uint16_t m_oem;
    uint16_t m_ansi;
};

// Sorted by name, byte by byte.
extern const LocalePages kLocales[kLocaleCount];

}  // namespace codepages::tables
