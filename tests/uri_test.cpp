#include "convert/uri.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/convert_test_util.h"
#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class Uri : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(Uri);

namespace {

// The two algorithms written out step by step, with the rule that only a
// complete escape of two hexadecimal digits is decoded: the oracle for the
// block-scanning converters, which must match them call by call.
bool BelowLimit(uint32_t position, uint32_t capacity)
{
    return int64_t{position} < int64_t{capacity} - int64_t{CONVERT_HEADROOM};
}

bool IsUnreserved(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           std::string("-_.!~*'()\r\n").find(static_cast<char>(byte)) != std::string::npos;
}

int HexValue(unsigned char byte)
{
    const std::string digits = "0123456789abcdef0123456789ABCDEF";
    const size_t at = digits.find(static_cast<char>(byte));
    return at == std::string::npos ? -1 : static_cast<int>(at % 16);
}

uint32_t ReferenceEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    uint32_t position = 0;
    for (; *remaining > 0 && BelowLimit(position, capacity); ++*cursor, --*remaining) {
        if (IsUnreserved(**cursor)) {
            output[position++] = **cursor;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02x", **cursor);
            std::memcpy(output + position, escape, 3);
            position += 3;
        }
    }
    return position;
}

uint32_t ReferenceDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    uint32_t position = 0;
    while (*remaining > 0 && BelowLimit(position, capacity)) {
        const unsigned char* at = *cursor;
        uint32_t consumed = 1;
        output[position] = at[0];
        if (at[0] == '%' && *remaining >= 3 && HexValue(at[1]) >= 0 && HexValue(at[2]) >= 0) {
            output[position] = static_cast<unsigned char>(HexValue(at[1]) * 16 + HexValue(at[2]));
            consumed = 3;
        }
        ++position;
        *cursor += consumed;
        *remaining -= consumed;
    }
    return position;
}

const std::vector<std::string> kFragments = {"%",   "%%", "%4", "%41", "%4a", "%4A", "%e9", "%zz", "%4z", "%z4",
                                             "%g0", "+",  " ",  "\r",  "\n",  "a",   "Z",   "9",   "-"};

TEST_P(Uri, EdgeCases)
{
    struct Case {
        const char* name;
        ConvertFn convert;
        std::string in, out;
    };
    const Case kCases[] = {
        {"query", At(UriEncode), "a b/c?d=e&f+g", "a%20b%2fc%3fd%3de%26f%2bg"},
        {"query back", At(UriDecode), "a%20b%2fc%3fd%3de%26f%2bg", "a b/c?d=e&f+g"},
        {"percent and tab", At(UriEncode), "%\t", "%25%09"},
        {"unreserved and line ends", At(UriEncode), "AZaz09-_.!~*'()\r\n", "AZaz09-_.!~*'()\r\n"},
        {"lower-case digits", At(UriEncode), "\x80\xE9\xFF", "%80%e9%ff"},
        {"either case", At(UriDecode), "%4a%4A%41%42", "JJAB"},
        {"high escape", At(UriDecode), "%e9%E9", "\xE9\xE9"},
        {"nul escape", At(UriDecode), "%00", std::string(1, '\0')},
        // Anything but two hexadecimal digits leaves the percent sign as it is.
        {"not hex", At(UriDecode), "%zz%4z%z4%g0", "%zz%4z%z4%g0"},
        {"percent before escape", At(UriDecode), "%%41", "%A"},
        {"percent before line feed", At(UriDecode), "100%\n", "100%\n"},
        {"one digit at the end", At(UriDecode), "x%4", "x%4"},
        {"percent at the end", At(UriDecode), "x%", "x%"},
        {"plus is not a space", At(UriDecode), "a+b", "a+b"},
        {"not decoded twice", At(UriDecode), "%2541", "%41"},
        {"high bytes pass", At(UriDecode), "\x80\xE9\xFF", "\x80\xE9\xFF"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ExpectConverts(c.convert, c.in, c.out);
    }
}

TEST_P(Uri, ChunkSizes)
{
    // A longest piece of spaces: each one a 3-byte "%20".
    const uint32_t escape = 3;
    const std::string spaces(kLongestPiece, ' ');
    const std::vector<Chunk> encoded = ConvertChunks(At(UriEncode), spaces, LINE_BUF_SIZE);
    ASSERT_FALSE(encoded.empty());
    EXPECT_EQ(encoded[0].consumed, FullChunkOf(escape) / escape);
    EXPECT_EQ(encoded[0].output.size(), FullChunkOf(escape));
    EXPECT_EQ(ConvertLine(At(UriEncode), spaces).size(), size_t{kLongestPiece} * escape);

    const std::vector<Chunk> decoded = ConvertChunks(At(UriDecode), std::string(kLongestPiece, 'a'), LINE_BUF_SIZE);
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0].output.size(), kFullChunk);
    EXPECT_EQ(decoded[1].output.size(), kLongestPiece - kFullChunk);
}

// All 65,536 pairs after a '%', each alone on a line (with the '%' last) and
// all in one long line cut into small chunks, against the step-by-step rule:
// two hexadecimal digits of either case are one byte, anything else is kept.
TEST_P(Uri, EveryPercentPairDecodes)
{
    std::string all;
    std::string allExpected;
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const std::string in = {'%', static_cast<char>(x), static_cast<char>(y)};
            const int high = HexValue(static_cast<unsigned char>(x));
            const int low = HexValue(static_cast<unsigned char>(y));
            const bool escape = high >= 0 && low >= 0;
            const std::string expected = escape ? std::string(1, static_cast<char>(high * 16 + low)) : in;
            ASSERT_EQ(ConvertLine(At(UriDecode), in + "%"), expected + "%") << "pair " << x << " " << y;
            // '|' is no digit, so no escape spans two pairs.
            all += in + "|";
            allExpected += expected + "|";
        }
    }
    EXPECT_TRUE(ConvertLine(At(UriDecode), all, kSmallCapacity) == allExpected);
    EXPECT_TRUE(ConvertLine(At(UriDecode), all) == allExpected);
}

TEST_P(Uri, CapacityWithoutRoom)
{
    ExpectNoStepWithoutRoom(At(UriEncode), std::string(40, ' '));
    ExpectNoStepWithoutRoom(At(UriDecode), std::string(40, '%'));
}

TEST_P(Uri, RoundTrip)
{
    std::mt19937 random(5);
    std::vector<std::string> lines = {AllByteValues()};
    for (int i = 0; i < 50; ++i) {
        lines.push_back(RandomLine(random, kFragments, 100));
    }
    for (const std::string& line : lines) {
        EXPECT_EQ(ConvertLine(At(UriDecode), ConvertLine(At(UriEncode), line)), line);
    }
}

TEST_P(Uri, MatchStepByStepScan)
{
    std::mt19937 random(3);
    std::string percentEverywhere;
    for (size_t at = 0; at < 40; ++at) {
        std::string line = "0123456789abcdefABCDEF%41%e9 %%%zz+/\xE9\n.";
        line.insert(at, "%");
        percentEverywhere += line;
        ExpectSameChunks(At(UriDecode), ReferenceDecode, line, kSmallCapacity);
        ExpectSameChunks(At(UriDecode), ReferenceDecode, line.substr(0, at + 1), kSmallCapacity);
    }
    const std::string all = AllByteValues() + AllByteValues();
    for (const std::string& line : {all, ConvertLine(At(UriEncode), all), percentEverywhere}) {
        ExpectSameChunks(At(UriEncode), ReferenceEncode, line);
        ExpectSameChunks(At(UriDecode), ReferenceDecode, line);
    }
    for (int i = 0; i < 40; ++i) {
        const std::string line = RandomLine(random, kFragments, 80);
        ExpectSameChunks(At(UriEncode), ReferenceEncode, line, kSmallCapacity);
        ExpectSameChunks(At(UriDecode), ReferenceDecode, line, kSmallCapacity);
    }
    const std::string longLine = RandomLine(random, kFragments, kLongestPiece).substr(0, kLongestPiece);
    ExpectSameChunks(At(UriEncode), ReferenceEncode, longLine, 40);
    ExpectSameChunks(At(UriDecode), ReferenceDecode, longLine, 40);
}

TEST_P(Uri, Holdback)
{
    struct Case {
        const char* name;
        std::string piece;
        uint32_t holdback;
    };
    const Case kCases[] = {
        {"none", "abc", 0},         {"percent last", "a%", 1}, {"one digit", "a%4", 2},
        {"whole escape", "%41", 0}, {"last of two", "%%", 1},  {"short piece", "%", 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UriDecodeHoldback(reinterpret_cast<const unsigned char*>(c.piece.data()),
                                    static_cast<uint32_t>(c.piece.size())),
                  c.holdback);
    }
    std::string escapes;
    for (const std::string& fragment : kFragments) {
        escapes += fragment + "%";
    }
    ExpectHoldbackExact(At(UriDecode), UriDecodeHoldback, escapes);
}

}  // namespace
