#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "convert/codepage_tables.h"
#include "platform/platform.h"
#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class CodePages : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(CodePages);

namespace {

std::vector<unsigned char> AllBytesTwice()
{
    // Twice and offset, so both the block loop and the tail see every value.
    std::vector<unsigned char> bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b) {
            bytes.push_back(static_cast<unsigned char>((b * 7 + round) & 0xFF));
        }
    }
    bytes.push_back(0xE9);
    return bytes;
}

struct Direction {
    const char* name;
    void (*convert)(unsigned char*, uint32_t);
    const unsigned char* table;
    const char* reference;  // the table in data/codepages/ the code does not read
};

const Direction kDirections[] = {
    {"oem to ansi", platform::OemToAnsi, kOem437ToAnsi1252, "oem437_to_ansi1252.tsv"},
    {"ansi to oem", platform::AnsiToOem, kAnsi1252ToOem437, "ansi1252_to_oem437.tsv"},
};

// Every byte against the reference table, read at run time: a heading line,
// then one line per byte, "byte<TAB>result<TAB>..." in hexadecimal.
TEST_P(CodePages, EveryByteMatchesTheReferenceTable)
{
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        std::ifstream file(std::string(GLYPHMILL_SOURCE_DIR) + "/data/codepages/" + d.reference);
        ASSERT_TRUE(file) << d.reference;
        std::string line;
        ASSERT_TRUE(std::getline(file, line));
        ASSERT_EQ(line.rfind("byte\tresult\t", 0), 0u) << line;
        std::vector<bool> seen(256, false);
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            unsigned int byte = 256;
            unsigned int result = 256;
            fields >> std::hex >> byte >> result;
            ASSERT_TRUE(fields && byte < 256 && result < 256) << line;
            EXPECT_FALSE(seen[byte]) << "byte " << byte << " listed twice";
            seen[byte] = true;
            EXPECT_EQ(d.table[byte], result) << "byte " << byte;
            unsigned char converted = static_cast<unsigned char>(byte);
            d.convert(&converted, 1);
            EXPECT_EQ(converted, result) << "byte " << byte << " through the host call";
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
    }
}

TEST_P(CodePages, EveryByteGoesThroughItsTable)
{
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        std::vector<unsigned char> bytes = AllBytesTwice();
        const std::vector<unsigned char> original = bytes;
        d.convert(bytes.data(), static_cast<uint32_t>(bytes.size()));
        for (size_t i = 0; i < bytes.size(); ++i) {
            ASSERT_EQ(bytes[i], d.table[original[i]]) << "byte " << int(original[i]) << " at " << i;
        }
    }
}

struct Sample {
    const char* name;
    unsigned char oem;
    unsigned char ansi;
};

// Known points of the two code pages; a table shifted by one would fail them.
const Sample kSamples[] = {
    {"e acute", 0x82, 0xE9}, {"C cedilla", 0x80, 0xC7},      {"ae ligature", 0x91, 0xE6},
    {"sharp s", 0xE1, 0xDF}, {"no-break space", 0xFF, 0xA0}, {"ascii", 'A', 'A'},
};

TEST_P(CodePages, KnownCharactersMapBothWays)
{
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(kOem437ToAnsi1252[s.oem], s.ansi);
        EXPECT_EQ(kAnsi1252ToOem437[s.ansi], s.oem);
    }
}

TEST_P(CodePages, LowerHalfIsTheIdentity)
{
    for (int b = 0; b < 0x80; ++b) {
        EXPECT_EQ(kOem437ToAnsi1252[b], b);
        EXPECT_EQ(kAnsi1252ToOem437[b], b);
    }
}

}  // namespace
