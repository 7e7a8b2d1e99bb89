// The tables other hosts use in place of the Windows code-page conversions
// must give the bytes Windows gives, for every byte value, in every locale:
// under wine, LC_ALL picks the system's pages just as it picks ours on POSIX
// hosts, and the build runs these tests in a dozen locales.
#include <gtest/gtest.h>

#include <windows.h>
#undef OemToAnsi  // legacy macros for OemToCharA and CharToOemA
#undef AnsiToOem

#include <algorithm>
#include <cstdlib>
#include <string>

#include "convert/codepages.h"
#include "convert/utf8.h"
#include "platform/platform.h"
#include "tests/support/convert_test_util.h"

namespace {

using SystemConversion = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);

struct Direction {
    const char* name;
    SystemConversion system;
    bool (*fill)(codepages::Pair, unsigned char*);
    void (*ours)(unsigned char*, uint32_t);
};

const Direction kDirections[] = {
    {"oem to ansi", OemToCharBuffA, codepages::FillOemToAnsi, platform::OemToAnsi},
    {"ansi to oem", CharToOemBuffA, codepages::FillAnsiToOem, platform::AnsiToOem},
};

codepages::Pair LocalePair()
{
    const char* locale = std::getenv("LC_ALL");
    return codepages::ForLocaleName(locale != nullptr ? locale : "C");
}

std::string AllBytes()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(WindowsCodePages, SystemPagesAreTheLocalesPair)
{
    const codepages::Pair pair = LocalePair();
    EXPECT_EQ(GetOEMCP(), pair.m_oem);
    EXPECT_EQ(GetACP(), pair.m_ansi);
}

TEST(WindowsCodePages, TablesEqualTheSystemConversionsForEveryByte)
{
    const codepages::Pair pair = LocalePair();
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        unsigned char table[256];
        if (!d.fill(pair, table)) {
            // A double-byte or UTF-8 locale: the tool leaves text as it is, as
            // Windows leaves valid text (here ASCII and one double-byte
            // character, or one UTF-8 one).
            const std::string valid = GetACP() == CP_UTF8 ? "plain \xC3\xA9" : "plain \x82\xA0";
            std::string converted = valid;
            d.system(converted.data(), converted.data(), static_cast<DWORD>(converted.size()));
            EXPECT_EQ(converted, valid);
            continue;
        }
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            d.system(&byte, &byte, 1);
            EXPECT_EQ(static_cast<unsigned char>(byte), table[b]) << "byte 0x" << std::hex << b;
        }
    }
}

// One call over a whole buffer, NUL included, as the tool makes it: the
// system must not stop at a NUL, and our layer must pass the length on.
TEST(WindowsCodePages, WholeBufferConvertsLikeSingleBytes)
{
    unsigned char table[256];
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        if (!d.fill(LocalePair(), table)) {
            GTEST_SKIP() << "a double-byte or UTF-8 locale converts no single bytes";
        }
        std::string expected = AllBytes();
        for (char& byte : expected) {
            byte = static_cast<char>(table[static_cast<unsigned char>(byte)]);
        }
        std::string bytes = AllBytes() + AllBytes();
        d.ours(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<uint32_t>(bytes.size()));
        EXPECT_EQ(bytes, expected + expected);
    }
}

// The text through the system's MultiByteToWideChar from `from`, then its
// WideCharToMultiByte to `to`, both with default flags.
std::string SystemConverts(UINT from, UINT to, const std::string& text)
{
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(from, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    const int wideSize = static_cast<int>(wide.size());
    std::string converted(
        static_cast<size_t>(WideCharToMultiByte(to, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideSize, converted.data(), static_cast<int>(converted.size()), nullptr,
                        nullptr);
    return converted;
}

// UTF-8 text to `page` as the system converts it, but for the one place we
// part from it: a character the page would write as a control byte that is
// not that control (a screen glyph) is written as '?'.
std::string SystemConvertsWithoutGlyphControls(UINT page, const std::string& text)
{
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    for (wchar_t& character : wide) {
        if (character < 0x80 || (character >= 0xD800 && character <= 0xDFFF)) {
            continue;
        }
        char byte = 0;
        WideCharToMultiByte(page, 0, &character, 1, &byte, 1, nullptr, nullptr);
        const auto written = static_cast<unsigned char>(byte);
        if (written < 0x20 || written == 0x7F) {
            character = L'?';
        }
    }
    const int wideSize = static_cast<int>(wide.size());
    std::string converted(
        static_cast<size_t>(WideCharToMultiByte(page, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(page, 0, wide.data(), wideSize, converted.data(), static_cast<int>(converted.size()), nullptr,
                        nullptr);
    return converted;
}

// Every character up to U+FFFF but the surrogates (each page's own, its best
// fits and those it lacks), some above, and every kind of invalid sequence,
// each followed by ASCII: at the very end of its buffer Windows takes ASCII
// bytes as part of a sequence cut short, which a filter cannot see coming.
std::string Utf8Sample()
{
    std::wstring characters;
    for (wchar_t c = 1; c != 0; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            characters += c;
        }
    }
    const int length = static_cast<int>(characters.size());
    std::string sample(
        static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, characters.data(), length, nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, characters.data(), length, sample.data(), static_cast<int>(sample.size()), nullptr,
                        nullptr);
    sample += "\xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf \xf0\x90\x80\x80 ";                              // above U+FFFF
    sample += "\x80 \xbf\xbf \xc0\x80 \xc1\xbf \xf5\x80\x80\x80 \xf8\x88\x80\x80\x80 \xfe\xff ";  // never valid
    sample += "\xe0\x80\x80 \xe0\x9f\xbf \xf0\x80\x80\x80 \xf0\x8f\xbf\xbf ";                     // overlong
    sample += "\xed\xa0\x80 \xed\xbf\xbf \xf4\x90\x80\x80 ";  // surrogates, above U+10FFFF
    sample +=
        "\xc2"
        "a \xe2\x82"
        "a \xf0\x9f\x98"
        "a \xe2\xc2\xa9 \xe2\x82\xe2\x82\xac \xf0\x9f"
        "a end\n";  // cut short
    return sample;
}

TEST(WindowsCodePages, OemPagesWithUtf8AsTheSystemConvertsThem)
{
    const std::string bytes = AllBytes();
    const std::string sample = Utf8Sample();
    int pages = 0;
    for (unsigned page = 1; page <= 0xFFFF; ++page) {
        const ConvertFn toUtf8 = OemToUtf8Converter(static_cast<uint16_t>(page));
        if (toUtf8 == nullptr) {
            continue;
        }
        SCOPED_TRACE(page);
        ++pages;
        EXPECT_EQ(ConvertLine(toUtf8, bytes), SystemConverts(page, CP_UTF8, bytes));
        const std::string expected = SystemConvertsWithoutGlyphControls(page, sample);
        const std::string converted = ConvertLine(Utf8ToOemConverter(static_cast<uint16_t>(page)), sample);
        const auto differ = std::mismatch(converted.begin(), converted.end(), expected.begin(), expected.end());
        ASSERT_TRUE(differ.first == converted.end() && differ.second == expected.end())
            << "from byte " << differ.second - expected.begin() << " of " << expected.size() << ", ours "
            << ::testing::PrintToString(std::string(differ.first, converted.end()).substr(0, 16)) << ", the system's "
            << ::testing::PrintToString(std::string(differ.second, expected.end()).substr(0, 16));
    }
    EXPECT_EQ(pages, 18);
}

}  // namespace
