#pragma once

#include <cstdint>

// The OEM and ANSI code pages of a Windows locale, and the byte tables that
// convert between them as Windows' OemToCharBuffA and CharToOemBuffA do, best
// fit included (a character the target page lacks becomes its nearest
// look-alike, or '?').
namespace codepages {

struct Pair {
    uint16_t m_oem = 437;
    uint16_t m_ansi = 1252;
};

// What C, POSIX and every locale Windows does not know get.
constexpr Pair kDefaultPair{437, 1252};

inline bool operator==(Pair a, Pair b)
{
    return a.m_oem == b.m_oem && a.m_ansi == b.m_ansi;
}

// The pages Windows gives the locale a POSIX locale name names:
// "language_TERRITORY.codeset@modifier", the codeset ignored, the modifiers
// latin, cyrillic and devanagari taken as the script ("sr_RS@latin" is Latin
// Serbian, sr-Latn-RS), others ignored; a language alone ("ru") is that
// language's default. Letters in either case; "-" for "_" also works.
Pair ForLocaleName(const char* name);

// The locale a POSIX host's text is in: the first of LC_ALL, LC_CTYPE and
// LANG that is set and not empty (any may be null), and its pages.
Pair ForLocaleVariables(const char* lcAll, const char* lcCtype, const char* lang);

// The byte every page writes for a character it lacks.
constexpr unsigned char kDefaultByte = '?';

// UTF-8, as Windows numbers it.
constexpr uint16_t kUtf8 = 65001;

// Reads "OEM:ANSI" in decimal, e.g. "866:1251": a single-byte OEM page and a
// single-byte ANSI page or UTF-8 ("437:utf-8", "437:UTF8" and "437:65001"
// alike), or one double-byte or UTF-8 page twice ("932:932"); "utf-8" alone
// is `localeOem` with UTF-8, if that is such a pair. False for anything else.
bool ParsePair(const char* text, Pair* pair, uint16_t localeOem = kDefaultPair.m_oem);

// The pages ParsePair accepts, as a message lists them.
extern const char kAcceptedPairs[];

// Whether ParsePair would accept the pair.
bool IsKnownPair(Pair pair);

// What -a and -a- do with a character the target page has no exact
// counterpart for (one that would not convert back to itself), as
// GLYPHMILL_UNMAPPED names it: kWindows writes what Windows writes (its best
// fit, or '?'), except that text from UTF-8 never gets a control byte for a
// character that is not that control (the page's screen glyphs become '?');
// kReplace writes the page's default character '?' for every such character;
// kFail converts nothing from the first such character (or invalid UTF-8)
// on, and the run stops there.
enum class Unmapped { kWindows, kReplace, kFail };

// "windows", "replace" or "fail", in lower case. False for anything else.
bool ParseUnmapped(const char* text, Unmapped* policy);

// The values ParseUnmapped accepts, as a message lists them.
extern const char kAcceptedUnmapped[];

// Whether `character` (from U+0080 up, U+FFFF at most) converts to `byte` of
// OEM page `page` and back: the byte's character is that one. False for a
// page the tables do not have.
bool IsExactOemByte(uint16_t page, uint32_t character, unsigned char byte);

// Fills `table` with the conversion of each of the 256 byte values from the
// OEM to the ANSI page of `pair`, or back, under `policy` (kFail's table is
// kReplace's: from 0x80 up, the default byte there marks a loss). False, and `table` untouched, when
// the pair has one double-byte or UTF-8 page for both: its text is left as
// it is (Windows alters only invalid sequences there); false as well for a
// pair whose ANSI side is UTF-8, which no byte table converts (utf8.h).
bool FillOemToAnsi(Pair pair, unsigned char table[256], Unmapped policy);
bool FillAnsiToOem(Pair pair, unsigned char table[256], Unmapped policy);
inline bool FillOemToAnsi(Pair pair, unsigned char table[256])
{
    return FillOemToAnsi(pair, table, Unmapped::kWindows);
}
inline bool FillAnsiToOem(Pair pair, unsigned char table[256])
{
    return FillAnsiToOem(pair, table, Unmapped::kWindows);
}

}  // namespace codepages
