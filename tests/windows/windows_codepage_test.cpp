// The tables other hosts use in place of the Windows code-page conversions
// must give the bytes Windows gives, for every byte value.
#include <gtest/gtest.h>

#include <windows.h>
#undef OemToAnsi  // legacy macros for OemToCharA and CharToOemA
#undef AnsiToOem

#include <string>

#include "convert/codepage_tables.h"
#include "platform/platform.h"

namespace {

using SystemConversion = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);

struct Direction {
    const char* name;
    SystemConversion system;
    const unsigned char* table;
    void (*ours)(unsigned char*, uint32_t);
};

const Direction kDirections[] = {
    {"oem to ansi", OemToCharBuffA, kOem437ToAnsi1252, platform::OemToAnsi},
    {"ansi to oem", CharToOemBuffA, kAnsi1252ToOem437, platform::AnsiToOem},
};

std::string AllBytes()
{
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(WindowsCodePages, PrefixUsesCodePages437And1252)
{
    EXPECT_EQ(GetOEMCP(), 437u);
    EXPECT_EQ(GetACP(), 1252u);
}

TEST(WindowsCodePages, TablesEqualTheSystemConversionsForEveryByte)
{
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            d.system(&byte, &byte, 1);
            EXPECT_EQ(static_cast<unsigned char>(byte), d.table[b]) << "byte 0x" << std::hex << b;
        }
    }
}

// One call over a whole buffer, NUL included, as the tool makes it: the
// system must not stop at a NUL, and our layer must pass the length on.
TEST(WindowsCodePages, WholeBufferConvertsLikeSingleBytes)
{
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        std::string expected = AllBytes();
        for (char& byte : expected) {
            byte = static_cast<char>(d.table[static_cast<unsigned char>(byte)]);
        }
        std::string bytes = AllBytes() + AllBytes();
        d.ours(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<uint32_t>(bytes.size()));
        EXPECT_EQ(bytes, expected + expected);
    }
}

}  // namespace
