#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "stream/textreader.h"
#include "tests/support/guarded_buffer.h"

// One converter call: the bytes it consumed and the bytes it wrote.
struct Chunk {
    uint32_t consumed;
    std::string output;
    bool operator==(const Chunk& other) const { return consumed == other.consumed && output == other.output; }
};

// So that a failed comparison shows the bytes, not the object's memory.
inline void PrintTo(const Chunk& chunk, std::ostream* out)
{
    *out << "{consumed " << chunk.consumed << ", output " << ::testing::PrintToString(chunk.output) << "}";
}

// The smallest capacity at which a step can start below the output limit.
constexpr uint32_t kSmallestCapacity = CONVERT_HEADROOM + 1;
// The longest piece of a line the reader hands the converters.
constexpr uint32_t kLongestPiece = CTextReader::kMaxPiece;
// A call given LINE_BUF_SIZE bytes starts no step once fewer than
// CONVERT_HEADROOM are left: a chunk of single bytes is this long, and a chunk
// of n-byte steps is the first multiple of n at least this long.
constexpr uint32_t kFullChunk = LINE_BUF_SIZE - CONVERT_HEADROOM;
// A capacity far below LINE_BUF_SIZE, so that most lines take many calls.
constexpr uint32_t kSmallCapacity = 64;

// The output of a call of n-byte steps that fills a LINE_BUF_SIZE buffer.
constexpr uint32_t FullChunkOf(uint32_t stepSize)
{
    return (kFullChunk + stepSize - 1) / stepSize * stepSize;
}

// Calls `convert` until the line is consumed, checking the contract on every
// call. The line and the output end at a guard page (CGuardedBuffer), so a
// read past the line's end or a write past the capacity faults at once at
// every level, with or without a sanitizer. While the rest is short, each call
// gets a fresh copy of exactly the unconsumed bytes, so the rest ends at the
// guard too.
inline std::vector<Chunk> ConvertChunks(const Converter& convert, const std::string& line, uint32_t capacity)
{
    constexpr size_t kFreshCopyUpTo = 4096;
    std::vector<Chunk> chunks;
    unsigned char* const output = ReusableGuardedBuffer(0, capacity).Tail(capacity);
    unsigned char* const whole = ReusableGuardedBuffer(1, line.size()).Tail(line.size());
    std::memcpy(whole, line.data(), line.size());
    size_t done = 0;
    while (done < line.size()) {
        const uint32_t before = static_cast<uint32_t>(line.size() - done);
        const unsigned char* rest = whole + done;
        if (before <= kFreshCopyUpTo) {
            unsigned char* const fresh = ReusableGuardedBuffer(2, kFreshCopyUpTo).Tail(before);
            std::memcpy(fresh, rest, before);
            rest = fresh;
        }
        const unsigned char* cursor = rest;
        uint32_t remaining = before;
        const uint32_t written = convert(&cursor, output, &remaining, capacity);
        const uint32_t consumed = static_cast<uint32_t>(cursor - rest);
        EXPECT_LE(written, capacity);
        EXPECT_EQ(remaining, before - consumed) << "cursor and count out of step";
        if (consumed == 0 || consumed > before) {
            ADD_FAILURE() << "call consumed " << consumed << " of " << before << " bytes";
            break;
        }
        chunks.push_back({consumed, std::string(reinterpret_cast<const char*>(output), written)});
        done += consumed;
    }
    return chunks;
}

inline std::string ConvertLine(const Converter& convert, const std::string& line, uint32_t capacity = LINE_BUF_SIZE)
{
    std::string joined;
    for (const Chunk& chunk : ConvertChunks(convert, line, capacity)) {
        joined += chunk.output;
    }
    return joined;
}

// Small and odd capacities, where a line needs many calls, and the driver's.
constexpr uint32_t kSomeCapacities[] = {kSmallestCapacity, 12, 13, 18, 19, 26, 27, 33, 100, LINE_BUF_SIZE};

inline void ExpectConverts(const Converter& convert, const std::string& line, const std::string& expected)
{
    for (uint32_t capacity : kSomeCapacities) {
        EXPECT_EQ(ConvertLine(convert, line, capacity), expected) << "capacity " << capacity;
    }
}

// At capacities up to the headroom no step can start: a call writes and
// consumes nothing (the unsigned limit must not wrap).
inline void ExpectNoStepWithoutRoom(const Converter& convert, const std::string& line)
{
    for (uint32_t capacity = 0; capacity <= CONVERT_HEADROOM; ++capacity) {
        const std::unique_ptr<unsigned char[]> output(new unsigned char[capacity]);
        const auto* cursor = reinterpret_cast<const unsigned char*>(line.data());
        uint32_t remaining = static_cast<uint32_t>(line.size());
        EXPECT_EQ(convert(&cursor, output.get(), &remaining, capacity), 0u) << "capacity " << capacity;
        EXPECT_EQ(remaining, line.size()) << "capacity " << capacity;
    }
}

// Compares the call-by-call chunks of `fast` with those of `reference` at
// every capacity from the smallest up to `exhaustiveUpTo`, then at a stride up
// to LINE_BUF_SIZE. Once the reference converts the line in one call, so does
// it at every larger capacity, and its result is reused.
inline void ExpectSameChunks(const Converter& fast, const Converter& reference, const std::string& line,
                             uint32_t exhaustiveUpTo = LINE_BUF_SIZE)
{
    constexpr uint32_t kStride = 1009;
    std::vector<Chunk> expected;
    bool oneCall = false;
    for (uint32_t capacity = kSmallestCapacity; capacity <= LINE_BUF_SIZE;) {
        if (!oneCall) {
            expected = ConvertChunks(reference, line, capacity);
            oneCall = expected.size() <= 1;
        }
        if (!(ConvertChunks(fast, line, capacity) == expected)) {
            ADD_FAILURE() << "chunks differ at capacity " << capacity;
            return;
        }
        if (capacity == LINE_BUF_SIZE) {
            break;
        }
        capacity = capacity < exhaustiveUpTo ? capacity + 1 : std::min(capacity + kStride, LINE_BUF_SIZE);
    }
}

// Cuts the line at every offset as the driver cuts a long line: the piece
// before the cut loses its holdback bytes to the next piece. The two pieces
// converted one after the other must give the output of the whole line.
inline void ExpectHoldbackExact(const Converter& convert, uint32_t (*holdback)(const unsigned char*, uint32_t),
                                const std::string& line)
{
    const std::string whole = ConvertLine(convert, line);
    for (size_t cut = 0; cut <= line.size(); ++cut) {
        const auto* piece = reinterpret_cast<const unsigned char*>(line.data());
        const size_t keep = cut - holdback(piece, static_cast<uint32_t>(cut));
        const std::string split = ConvertLine(convert, line.substr(0, keep)) + ConvertLine(convert, line.substr(keep));
        if (split != whole) {
            ADD_FAILURE() << "cut at " << cut << " of '" << line << "'";
            return;
        }
    }
}

inline std::string AllByteValues()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// A line stitched from the given fragments and random bytes; fixed seeds keep
// failures reproducible.
inline std::string RandomLine(std::mt19937& random, const std::vector<std::string>& fragments, size_t pieces)
{
    std::string line;
    std::uniform_int_distribution<size_t> pick(0, fragments.size());
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (size_t i = 0; i < pieces; ++i) {
        const size_t choice = pick(random);
        line += choice < fragments.size() ? fragments[choice] : std::string(1, static_cast<char>(anyByte(random)));
    }
    return line;
}

// The block paths are tested on every length up to kLongest behind every
// alignment prefix up to kAlignments.
constexpr size_t kLongest = 80;
constexpr size_t kAlignments = 16;

// Text over a small alphabet: `special` bytes at about one place in `odds`.
inline std::string RandomText(std::mt19937& random, size_t length, const std::string& special, unsigned odds)
{
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += random() % odds == 0 ? special[random() % special.size()] : static_cast<char>('a' + random() % 26);
    }
    return text;
}

// Runs `check` on texts of every length and behind every alignment prefix.
template <typename Check>
inline void ForEveryLengthAndAlignment(const std::string& special, unsigned odds, Check check)
{
    std::mt19937 random(11);
    for (size_t length = 0; length <= kLongest; ++length) {
        for (size_t align = 0; align < kAlignments; ++align) {
            const std::string text = std::string(align, 'x') + RandomText(random, length, special, odds);
            SCOPED_TRACE("length " + std::to_string(length) + " alignment " + std::to_string(align));
            check(text);
        }
    }
}
