// The tables other hosts use in place of the Windows code-page conversions
// must give the bytes Windows gives, for every byte value, in every locale:
// under wine, LC_ALL picks the system's pages just as it picks ours on POSIX
// hosts, and the build runs these tests in a dozen locales.
#include <gtest/gtest.h>

#include <windows.h>
#undef OemToAnsi  // legacy macros for OemToCharA and CharToOemA
#undef AnsiToOem

#include <cstdlib>
#include <string>

#include "convert/codepages.h"
#include "platform/platform.h"

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

}  // namespace
