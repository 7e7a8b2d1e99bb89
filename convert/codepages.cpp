#include "convert/codepages.h"

#include <algorithm>
#include <cstring>

#include "convert/generated/codepage_tables.h"

namespace codepages {

using tables::kLocaleNameSize;

const char kAcceptedPairs[] =
    "OEM:ANSI with OEM one of 437, 720, 737, 775, 850, 852, 855, 857, 860-866, 869, 874, 1258 and ANSI one of "
    "874, 1250-1258 or utf-8 (65001), or utf-8 alone (the locale's OEM page with UTF-8), or one of 932, 936, 949, "
    "950, 65001 twice";

namespace {

// Pages whose text the tool leaves as it is: double-byte pages and UTF-8.
constexpr uint16_t kTextPages[] = {932, 936, 949, 950, kUtf8};

template <size_t N>
int IndexOf(const uint16_t (&pages)[N], uint16_t page)
{
    const auto found = std::find(pages, pages + N, page);
    return found == pages + N ? -1 : static_cast<int>(found - pages);
}

bool IsTextPage(uint16_t page)
{
    return IndexOf(kTextPages, page) >= 0;
}

}  // namespace

bool IsKnownPair(Pair pair)
{
    return (IndexOf(tables::kOemPages, pair.m_oem) >= 0 &&
            (IndexOf(tables::kAnsiPages, pair.m_ansi) >= 0 || pair.m_ansi == kUtf8)) ||
           (IsTextPage(pair.m_oem) && pair.m_oem == pair.m_ansi);
}

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The script a modifier names, as Windows writes it in a locale name.
const char* ScriptOf(const char* modifier)
{
    static const char* const kScripts[][2] = {{"latin", "latn"}, {"cyrillic", "cyrl"}, {"devanagari", "deva"}};
    for (const auto& script : kScripts) {
        if (std::strcmp(modifier, script[0]) == 0) {
            return script[1];
        }
    }
    return nullptr;
}

// "sr_RS.UTF-8@latin" as Windows names it, lower case: "sr-latn-rs". False
// when the name is too long to be one Windows knows.
bool WindowsKey(const char* name, char (&key)[kLocaleNameSize])
{
    const char* modifier = std::strchr(name, '@');
    const size_t length = std::strcspn(name, ".@");
    const char* script = modifier ? ScriptOf(modifier + 1) : nullptr;
    const size_t language = std::strcspn(name, "_-");
    const size_t needed = length + (script ? 5 : 0);
    if (needed >= kLocaleNameSize) {
        return false;
    }
    size_t at = 0;
    for (size_t i = 0; i < length; ++i) {
        if (i == language && script) {
            key[at++] = '-';
            for (const char* s = script; *s; ++s) {
                key[at++] = *s;
            }
        }
        key[at++] = name[i] == '_' ? '-' : LowerAscii(name[i]);
    }
    if (language >= length && script) {
        key[at++] = '-';
        std::memcpy(key + at, script, 4);
        at += 4;
    }
    key[at] = '\0';
    return true;
}

bool IsPosixDefault(const char* name)
{
    const size_t length = std::strcspn(name, ".@");
    return length == 0 || (length == 1 && name[0] == 'C') || (length == 5 && std::strncmp(name, "POSIX", 5) == 0);
}

// The byte map relies on the identity below 0x80, where every page is ASCII:
// the generated tables cannot say otherwise, as they hold the upper half alone.
static_assert(sizeof tables::kOemToAnsi[0][0] == 128 && sizeof tables::kAnsiToOem[0][0] == 128,
              "the pair tables hold bytes 0x80 to 0xFF only");
static_assert(tables::kDefaultByte == kDefaultByte, "every page's default character is '?'");

uint32_t CharacterOf(const uint16_t (&upperHalf)[128], unsigned char byte)
{
    return byte < 0x80 ? byte : upperHalf[byte - 0x80];
}

// Windows' composition of the two pages, kept per pair: bytes from 0x80 up
// from the pair's table, those below unchanged. Under any policy but
// kWindows a byte whose character the target page lacks (whose byte there
// gives another character back: a best fit, a screen glyph's control byte)
// becomes the default byte.
bool Fill(const unsigned char* upperHalf, const uint16_t (&from)[128], const uint16_t (&to)[128], Unmapped policy,
          unsigned char table[256])
{
    for (int b = 0; b < 128; ++b) {
        table[b] = static_cast<unsigned char>(b);
    }
    std::memcpy(table + 128, upperHalf, 128);
    if (policy != Unmapped::kWindows) {
        for (int b = 128; b < 256; ++b) {
            if (CharacterOf(to, table[b]) != from[b - 128]) {
                table[b] = kDefaultByte;
            }
        }
    }
    return true;
}

}  // namespace

Pair ForLocaleName(const char* name)
{
    char key[kLocaleNameSize];
    if (IsPosixDefault(name) || !WindowsKey(name, key)) {
        return kDefaultPair;
    }
    const auto* end = tables::kLocales + tables::kLocaleCount;
    const auto* found = std::lower_bound(
        tables::kLocales, end, key,
        [](const tables::LocalePages& locale, const char* wanted) { return std::strcmp(locale.m_name, wanted) < 0; });
    if (found == end || std::strcmp(found->m_name, key) != 0) {
        return kDefaultPair;
    }
    return Pair{found->m_oem, found->m_ansi};
}

Pair ForLocaleVariables(const char* lcAll, const char* lcCtype, const char* lang)
{
    for (const char* name : {lcAll, lcCtype, lang}) {
        if (name != nullptr && name[0] != '\0') {
            return ForLocaleName(name);
        }
    }
    return kDefaultPair;
}

namespace {

// A decimal page number as Windows writes it (at most five digits, no
// leading zero), ending at `end`.
bool ReadPage(const char* text, const char* end, uint16_t* page)
{
    if (text == end || end - text > 5 || *text == '0') {
        return false;
    }
    unsigned long value = 0;
    for (; text != end; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(*text - '0');
    }
    *page = static_cast<uint16_t>(value);
    return value <= 0xFFFF;
}

// "utf-8" or "utf8", letters in either case.
bool IsUtf8Name(const char* text)
{
    char lower[6] = {};
    for (size_t i = 0; i < sizeof lower && text[i] != '\0'; ++i) {
        lower[i] = LowerAscii(text[i]);
    }
    return std::strlen(text) < sizeof lower && (std::strcmp(lower, "utf-8") == 0 || std::strcmp(lower, "utf8") == 0);
}

// A page number or UTF-8's name.
bool ReadAnsiPage(const char* text, uint16_t* page)
{
    if (IsUtf8Name(text)) {
        *page = kUtf8;
        return true;
    }
    return ReadPage(text, text + std::strlen(text), page);
}

}  // namespace

bool ParsePair(const char* text, Pair* pair, uint16_t localeOem)
{
    const char* colon = std::strchr(text, ':');
    Pair read;
    if (colon == nullptr) {
        if (!IsUtf8Name(text)) {
            return false;
        }
        read = Pair{localeOem, kUtf8};
    } else if (!ReadPage(text, colon, &read.m_oem) || !ReadAnsiPage(colon + 1, &read.m_ansi)) {
        return false;
    }
    if (!IsKnownPair(read)) {
        return false;
    }
    *pair = read;
    return true;
}

bool FillOemToAnsi(Pair pair, unsigned char table[256], Unmapped policy)
{
    const int oem = IndexOf(tables::kOemPages, pair.m_oem);
    const int ansi = IndexOf(tables::kAnsiPages, pair.m_ansi);
    return oem >= 0 && ansi >= 0 &&
           Fill(tables::kOemToAnsi[oem][ansi], tables::kOemToUnicode[oem], tables::kAnsiToUnicode[ansi], policy, table);
}

bool FillAnsiToOem(Pair pair, unsigned char table[256], Unmapped policy)
{
    const int oem = IndexOf(tables::kOemPages, pair.m_oem);
    const int ansi = IndexOf(tables::kAnsiPages, pair.m_ansi);
    return oem >= 0 && ansi >= 0 &&
           Fill(tables::kAnsiToOem[ansi][oem], tables::kAnsiToUnicode[ansi], tables::kOemToUnicode[oem], policy, table);
}

const char kAcceptedUnmapped[] = "windows, replace or fail";

bool ParseUnmapped(const char* text, Unmapped* policy)
{
    static const struct {
        const char* m_name;
        Unmapped m_policy;
    } kPolicies[] = {{"windows", Unmapped::kWindows}, {"replace", Unmapped::kReplace}, {"fail", Unmapped::kFail}};
    for (const auto& known : kPolicies) {
        if (std::strcmp(text, known.m_name) == 0) {
            *policy = known.m_policy;
            return true;
        }
    }
    return false;
}

bool IsExactOemByte(uint16_t page, uint32_t character, unsigned char byte)
{
    const int oem = IndexOf(tables::kOemPages, page);
    return oem >= 0 && CharacterOf(tables::kOemToUnicode[oem], byte) == character;
}

}  // namespace codepages
