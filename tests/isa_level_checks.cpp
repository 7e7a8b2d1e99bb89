// The primitives of one instruction set against plain definitions, built once
// per level (tests/CMakeLists.txt) with that level's flags, in its namespace:
// GLYPHMILL_TEST_SET is the level's set. Every byte value in every lane of a
// chunk, every drop mask of every eight-byte group, tables with one entry and
// random ones. Nothing here instantiates a library template (no containers,
// no random engines, no initializer lists, no GoogleTest): the linker would
// keep one weak copy of it, compiled for this level, for every caller in the
// test program; level_objects_keep_to_their_namespace checks these objects too.
#include "tests/isa_level_checks.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/kernels/isa.h"

namespace isachecks {
namespace GLYPHMILL_ISA_NS {

namespace {

using Set = isa::GLYPHMILL_TEST_SET;
using bytescan::kChunk;

// xorshift64: the same numbers on every host and level.
struct Random {
    uint64_t m_state = 0x9E3779B97F4A7C15u;
    uint64_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
};

template <typename Keep>
uint64_t Where(const unsigned char* in, Keep keep)
{
    uint64_t bits = 0;
    for (ptrdiff_t i = 0; i < kChunk; ++i) {
        bits |= uint64_t{keep(in[i])} << i;
    }
    return bits;
}

struct Checker {
    IsaCheckFailure m_failure;

    bool Expect(const char* what, uint64_t expected, uint64_t actual, uint64_t which)
    {
        if (m_failure.m_what == nullptr && expected != actual) {
            m_failure = {what, expected, actual, which};
        }
        return m_failure.m_what == nullptr;
    }
};

// The chunk numbered `which`: each byte value in each seventh lane of 'x's,
// then random chunks.
void MakeChunk(uint64_t which, Random& random, unsigned char* chunk)
{
    if (which < 256 * 10) {
        std::memset(chunk, 'x', kChunk);
        chunk[which % 10 * 7] = static_cast<unsigned char>(which / 10);
        return;
    }
    for (ptrdiff_t i = 0; i < kChunk; ++i) {
        chunk[i] = static_cast<unsigned char>(random.Next() >> 56);
    }
}

constexpr uint64_t kChunks = 256 * 10 + 2000;

void CheckScans(Checker& check)
{
    Random random;
    alignas(64) unsigned char chunk[kChunk];
    for (uint64_t which = 0; which < kChunks; ++which) {
        MakeChunk(which, random, chunk);
        const unsigned char* in = chunk;
        const bool ok =
            check.Expect("Equal64<CR>", Where(in, [](unsigned char b) { return b == '\r'; }),
                         Set::template Equal64<'\r'>(in), which) &&
            check.Expect("Equal64<0>", Where(in, [](unsigned char b) { return b == 0; }), Set::template Equal64<0>(in),
                         which) &&
            check.Expect("Equal64<0xFF>", Where(in, [](unsigned char b) { return b == 0xFF; }),
                         Set::template Equal64<0xFF>(in), which) &&
            check.Expect("High64", Where(in, [](unsigned char b) { return b >= 0x80; }), Set::High64(in), which) &&
            check.Expect("InRange64<a, z>", Where(in, [](unsigned char b) { return b >= 'a' && b <= 'z'; }),
                         Set::template InRange64<'a', 'z'>(in), which) &&
            check.Expect("InRange64<0xF0, 0xFF>", Where(in, [](unsigned char b) { return b >= 0xF0; }),
                         Set::template InRange64<0xF0, 0xFF>(in), which) &&
            check.Expect("InRange64<0, 0>", Where(in, [](unsigned char b) { return b == 0; }),
                         Set::template InRange64<0, 0>(in), which);
        if (!ok) {
            return;
        }
    }
}

// Tables with one entry set (each byte value), then random ones.
void CheckLookup(Checker& check)
{
    Random random;
    alignas(64) unsigned char chunk[kChunk];
    alignas(64) unsigned char table[256];
    for (uint64_t entry = 0; entry < 256 + 20; ++entry) {
        for (unsigned i = 0; i < 256; ++i) {
            table[i] = entry < 256 ? static_cast<unsigned char>(i == entry ? 1 + entry % 255 : 0)
                                   : static_cast<unsigned char>(random.Next() % 3 == 0 ? random.Next() : 0);
        }
        for (uint64_t which = 0; which < kChunks; which += 13) {
            MakeChunk(which, random, chunk);
            const uint64_t expected = Where(chunk, [&table](unsigned char b) { return table[b] != 0; });
            if (!check.Expect("Lookup64", expected, Set::Lookup64(chunk, table), entry)) {
                return;
            }
        }
    }
}

// Every drop mask of one eight-byte group in every group, random masks, and
// every byte dropped; in place (out == in) and towards the front.
void CheckCompact(Checker& check)
{
    Random random;
    for (uint64_t which = 0; which < 8 * 256 + 5000 + 1; ++which) {
        const uint64_t drop = which < 8 * 256          ? (which % 256) << (which / 256 * 8)
                              : which < 8 * 256 + 5000 ? random.Next() & random.Next()
                                                       : ~uint64_t{0};
        constexpr ptrdiff_t kShifts[] = {0, 5};
        for (const ptrdiff_t shift : kShifts) {
            alignas(64) unsigned char buffer[kChunk + 8];
            for (ptrdiff_t i = 0; i < kChunk + 8; ++i) {
                buffer[i] = static_cast<unsigned char>(0x20 + i);
            }
            unsigned char expected[kChunk];
            ptrdiff_t kept = 0;
            for (ptrdiff_t i = 0; i < kChunk; ++i) {
                if ((drop >> i & 1) == 0) {
                    expected[kept++] = buffer[shift + i];
                }
            }
            const unsigned char* const end = Set::Compact64(buffer, buffer + shift, drop);
            if (!check.Expect("Compact64: the length", static_cast<uint64_t>(kept), static_cast<uint64_t>(end - buffer),
                              drop) ||
                !check.Expect("Compact64: the bytes kept", 0,
                              std::memcmp(buffer, expected, static_cast<size_t>(kept)) != 0 ? 1 : 0, drop)) {
                return;
            }
        }
    }
}

// A run of every length up to a chunk arrives whole.
void CheckCopyRun(Checker& check)
{
    alignas(64) unsigned char from[2 * kChunk];
    for (ptrdiff_t i = 0; i < 2 * kChunk; ++i) {
        from[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    for (ptrdiff_t length = 0; length <= kChunk; ++length) {
        constexpr ptrdiff_t kOffsets[] = {0, 3};
        for (const ptrdiff_t offset : kOffsets) {
            unsigned char to[2 * kChunk] = {};
            Set::CopyRun(to + offset, from + offset, length);
            if (!check.Expect("CopyRun", 0,
                              std::memcmp(to + offset, from + offset, static_cast<size_t>(length)) != 0 ? 1 : 0,
                              static_cast<uint64_t>(length))) {
                return;
            }
        }
    }
}

}  // namespace

IsaCheckFailure CheckPrimitives()
{
    Checker check;
    CheckScans(check);
    CheckLookup(check);
    CheckCompact(check);
    CheckCopyRun(check);
    return check.m_failure;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isachecks
