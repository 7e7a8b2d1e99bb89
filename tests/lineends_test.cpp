#include "convert/lineends.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class LineEnds : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(LineEnds);

namespace {

struct CallResult {
    std::string written;
    uint32_t consumed;
};

CallResult CallOnce(ConvertFn convert, const std::string& in, uint32_t capacity)
{
    std::vector<unsigned char> input(in.begin(), in.end());
    std::vector<unsigned char> output(capacity);
    const unsigned char* cursor = input.data();
    uint32_t remaining = static_cast<uint32_t>(input.size());
    const uint32_t written = convert(&cursor, output.data(), &remaining, capacity);
    EXPECT_EQ(static_cast<size_t>(cursor - input.data()) + remaining, input.size());
    return {std::string(output.begin(), output.begin() + written), static_cast<uint32_t>(input.size()) - remaining};
}

// Converts the whole text in calls of the given capacity.
std::string ConvertAll(ConvertFn convert, const std::string& in, uint32_t capacity)
{
    std::vector<unsigned char> input(in.begin(), in.end());
    std::vector<unsigned char> output(capacity);
    const unsigned char* cursor = input.data();
    uint32_t remaining = static_cast<uint32_t>(input.size());
    std::string out;
    while (remaining > 0) {
        const uint32_t before = remaining;
        const uint32_t written = convert(&cursor, output.data(), &remaining, capacity);
        out.append(output.begin(), output.begin() + written);
        if (remaining == before) {
            ADD_FAILURE() << "no progress at capacity " << capacity;
            break;
        }
    }
    return out;
}

struct Case {
    const char* name;
    ConvertFn convert;
    std::string in;
    std::string out;
};

const Case kCases[] = {
    {"unix drops lone cr", ToUnixLineEnds, "K\nL\nM\rN", "K\nL\nMN"},
    {"unix keeps nul", ToUnixLineEnds, std::string("a\0\r\n", 4), std::string("a\0\n", 3)},
    {"windows adds cr before lf", ToWindowsLineEnds, "K\nL\nM\rN", "K\r\nL\r\nMN"},
    {"windows cr lf", ToWindowsLineEnds, "\r\n", "\r\n"},
    {"windows empty lines", ToWindowsLineEnds, "\n\n", "\r\n\r\n"},
    // Every line end becomes CR, so lines stay apart; lone CRs stay.
    {"mac lf becomes cr", ToMacLineEnds, "K\nL\nM\rN", "K\rL\rM\rN"},
    {"mac high bytes", ToMacLineEnds, "\xe9\n\xff", "\xe9\r\xff"},
};

TEST_P(LineEnds, ConvertsTheSameAtEveryCapacity)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConvertAll(At(c.convert), c.in, LINE_BUF_SIZE), c.out);
        for (uint32_t capacity = 2; capacity < 12; ++capacity) {
            EXPECT_EQ(ConvertAll(At(c.convert), c.in, capacity), c.out) << capacity;
        }
    }
}

struct ChunkCase {
    const char* name;
    ConvertFn convert;
    std::string in;
    uint32_t capacity;
    std::string written;
    uint32_t consumed;
};

const ChunkCase kChunks[] = {
    // One input byte may give two output bytes, so the call stops one byte early.
    {"windows stops short of capacity", ToWindowsLineEnds, "pqr\n", 4, "pqr", 3},
    {"windows line fits", ToWindowsLineEnds, "pq\n", 4, "pq\r\n", 3},
    // The CR is consumed while the output still has room.
    {"unix consumes dropped cr", ToUnixLineEnds, "p\rqr", 2, "pq", 3},
    {"unix full output leaves cr", ToUnixLineEnds, "pq\rr", 2, "pq", 2},
    {"mac stops at capacity", ToMacLineEnds, "pq\nr", 3, "pq\r", 3},
    // No room at all: nothing written, nothing consumed.
    {"windows without room", ToWindowsLineEnds, "pq\n", 0, "", 0},
    {"windows with room for a CR only", ToWindowsLineEnds, "\n", 1, "", 0},
    {"unix without room", ToUnixLineEnds, "pq\n", 0, "", 0},
    {"mac without room", ToMacLineEnds, "pq\n", 0, "", 0},
    {"empty input", ToUnixLineEnds, "", 4, "", 0},
};

TEST_P(LineEnds, StopsWhereTheOutputIsFull)
{
    for (const ChunkCase& c : kChunks) {
        SCOPED_TRACE(c.name);
        const CallResult result = CallOnce(At(c.convert), c.in, c.capacity);
        EXPECT_EQ(result.written, c.written);
        EXPECT_EQ(result.consumed, c.consumed);
    }
}

TEST_P(LineEnds, WindowsLineTwoShortOfTheBufferFillsOneChunkExactly)
{
    const std::string line = std::string(LINE_BUF_SIZE - 2, 'a') + "\n";
    const CallResult result = CallOnce(At(ToWindowsLineEnds), line, LINE_BUF_SIZE);
    EXPECT_EQ(result.consumed, line.size());
    ASSERT_EQ(result.written.size(), LINE_BUF_SIZE);
    EXPECT_EQ(result.written.substr(LINE_BUF_SIZE - 2), "\r\n");
}

TEST_P(LineEnds, EveryByteValueOutsideCrAndLfIsCopied)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n') {
            all += static_cast<char>(b);
        }
    }
    for (ConvertFn convert : {ToUnixLineEnds, At(ToWindowsLineEnds), At(ToMacLineEnds)}) {
        EXPECT_EQ(ConvertAll(convert, all, 5), all);
    }
}

}  // namespace
