// The vector primitives every kernel is built from, against the plain
// definitions: every byte value in every lane of a chunk.
#include "convert/kernels/isa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using bytescan::kChunk;

struct Naive {
    static uint64_t Where(const unsigned char* in, bool (*keep)(unsigned char))
    {
        uint64_t bits = 0;
        for (ptrdiff_t i = 0; i < kChunk; ++i) {
            bits |= uint64_t{keep(in[i])} << i;
        }
        return bits;
    }
};

// Chunks that put each byte value in each lane, and random ones.
std::vector<std::vector<unsigned char>> Chunks()
{
    std::vector<std::vector<unsigned char>> chunks;
    for (unsigned value = 0; value < 256; ++value) {
        for (ptrdiff_t lane = 0; lane < kChunk; lane += 7) {
            std::vector<unsigned char> chunk(kChunk, 'x');
            chunk[static_cast<size_t>(lane)] = static_cast<unsigned char>(value);
            chunks.push_back(chunk);
        }
    }
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        std::vector<unsigned char> chunk(kChunk);
        for (unsigned char& byte : chunk) {
            byte = static_cast<unsigned char>(random());
        }
        chunks.push_back(chunk);
    }
    return chunks;
}

template <typename V>
void CheckPrimitives()
{
    for (const std::vector<unsigned char>& chunk : Chunks()) {
        const unsigned char* in = chunk.data();
        ASSERT_EQ(V::template Equal64<'\r'>(in), Naive::Where(in, [](unsigned char b) { return b == '\r'; }));
        ASSERT_EQ(V::template Equal64<0>(in), Naive::Where(in, [](unsigned char b) { return b == 0; }));
        ASSERT_EQ(V::template Equal64<0xFF>(in), Naive::Where(in, [](unsigned char b) { return b == 0xFF; }));
        ASSERT_EQ(V::High64(in), Naive::Where(in, [](unsigned char b) { return b >= 0x80; }));
        ASSERT_EQ((V::template InRange64<'a', 'z'>(in)),
                  Naive::Where(in, [](unsigned char b) { return b >= 'a' && b <= 'z'; }));
        ASSERT_EQ((V::template InRange64<0xF0, 0xFF>(in)), Naive::Where(in, [](unsigned char b) { return b >= 0xF0; }));
        ASSERT_EQ((V::template InRange64<0, 0>(in)), Naive::Where(in, [](unsigned char b) { return b == 0; }));
    }
}

}  // namespace

TEST(Isa, PortablePrimitivesMatchTheDefinitions)
{
    CheckPrimitives<isa::Portable>();
}

#if defined(GLYPHMILL_X86_KERNELS) && defined(__SSE2__)
TEST(Isa, Sse2PrimitivesMatchTheDefinitions)
{
    CheckPrimitives<isa::Sse2>();
}
#endif

#if defined(GLYPHMILL_NEON_KERNELS) && defined(__aarch64__)
TEST(Isa, NeonPrimitivesMatchTheDefinitions)
{
    CheckPrimitives<isa::Neon>();
}

// The compaction by eight-byte shuffles against the portable one: every drop
// mask of one eight-byte group in every group, and random masks.
TEST(Isa, NeonCompactionMatchesThePortableOne)
{
    std::vector<unsigned char> in(kChunk);
    for (ptrdiff_t i = 0; i < kChunk; ++i) {
        in[static_cast<size_t>(i)] = static_cast<unsigned char>(0x20 + i);
    }
    std::vector<uint64_t> drops;
    for (unsigned group = 0; group < 8; ++group) {
        for (uint64_t mask = 0; mask < 256; ++mask) {
            drops.push_back(mask << (8 * group));
        }
    }
    std::mt19937_64 random(5);
    for (int i = 0; i < 5000; ++i) {
        drops.push_back(random() & random());
    }
    drops.push_back(~uint64_t{0});
    for (uint64_t drop : drops) {
        std::vector<unsigned char> expected(kChunk, 0);
        std::vector<unsigned char> actual(kChunk, 0);
        const ptrdiff_t expectedLength = isa::Portable::Compact64(expected.data(), in.data(), drop) - expected.data();
        const ptrdiff_t actualLength = isa::Neon::Compact64(actual.data(), in.data(), drop) - actual.data();
        ASSERT_EQ(actualLength, expectedLength) << std::hex << drop;
        ASSERT_TRUE(std::equal(expected.begin(), expected.begin() + expectedLength, actual.begin()))
            << std::hex << drop;
    }
}
#endif

#if defined(GLYPHMILL_NEON_KERNELS) && defined(__aarch64__)
// The four-quarter table lookup against the portable one, for tables with
// one entry set (each byte value), and random tables.
TEST(Isa, NeonLookupMatchesThePortableOne)
{
    std::vector<std::vector<unsigned char>> tables;
    for (unsigned entry = 0; entry < 256; ++entry) {
        tables.emplace_back(256, 0);
        tables.back()[entry] = static_cast<unsigned char>(1 + entry % 255);
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        tables.emplace_back(256);
        for (unsigned char& entry : tables.back()) {
            entry = static_cast<unsigned char>(random() % 3 == 0 ? random() : 0);
        }
    }
    const std::vector<std::vector<unsigned char>> chunks = Chunks();
    for (const std::vector<unsigned char>& table : tables) {
        for (size_t i = 0; i < chunks.size(); i += 13) {
            ASSERT_EQ(isa::Neon::Lookup64(chunks[i].data(), table.data()),
                      isa::Portable::Lookup64(chunks[i].data(), table.data()));
        }
    }
}
#endif
