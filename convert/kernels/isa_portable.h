#pragma once

// The portable set: plain C++ for every host, and the reference every other
// set is tested against. It is the model of what a set provides (isa.h);
// the converters' algorithms live beside each converter. Internal to the
// converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa_conformance.h"

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

using bytescan::kChunk;

// Plain C++ for every host; compilers vectorise what they can.
struct Portable {
    // Eight-byte SWAR lanes are no match for a table lookup per byte when a
    // byte set has many members.
    static constexpr bool kHasWideCompare = false;
    static constexpr bool kHasTableLookup = false;

    // Eight bytes at a time in a 64-bit word (SWAR): the top bit of each byte
    // lane says whether it matched, and one multiplication gathers the eight
    // top bits. The word is loaded lowest byte first on every host, so that
    // bit i is byte i whatever the byte order.
    static constexpr uint64_t kOnes = 0x0101010101010101u;
    static constexpr uint64_t kTops = 0x8080808080808080u;

    static uint64_t TopBits(uint64_t lanes) { return ((lanes & kTops) >> 7) * 0x0102040810204080u >> 56; }

    // Top bit set in each lane of `word` that is zero (exact: no borrow
    // crosses a lane).
    static uint64_t ZeroLanes(uint64_t word) { return ~(((word & ~kTops) + ~kTops) | word) & kTops; }

    template <typename Lanes>
    static uint64_t Chunk(const unsigned char* in, Lanes lanes)
    {
        uint64_t bits = 0;
        for (ptrdiff_t i = 0; i < kChunk; i += 8) {
            bits |= TopBits(lanes(bytescan::LoadLittleEndian64(in + i))) << i;
        }
        return bits;
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return Chunk(in, [](uint64_t word) { return ZeroLanes(word ^ (kOnes * kByte)); });
    }

    // Bytes from 0x80 up.
    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in, [](uint64_t word) { return word; });
    }

    // Bytes in [kFirst, kLast], a range shorter than 128: each lane's
    // byte - kFirst (no borrow crosses a lane) is at most kLast - kFirst.
    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        static_assert(kLast - kFirst < 128, "one lane holds the test");
        return Chunk(in, [](uint64_t word) {
            constexpr uint64_t kFirsts = kOnes * kFirst;
            const uint64_t offset = ((word | kTops) - (kFirsts & ~kTops)) ^ ((word ^ ~kFirsts) & kTops);
            return ~(((offset & ~kTops) + kOnes * (0x7F - (kLast - kFirst))) | offset) & kTops;
        });
    }

    // Bytes whose entry in `table` is non-zero: cheaper than several SWAR
    // tests when a set has many members.
    static uint64_t Lookup64(const unsigned char* in, const unsigned char* table)
    {
        uint64_t bits = 0;
        for (ptrdiff_t i = 0; i < kChunk; ++i) {
            bits |= uint64_t{table[in[i]] != 0} << i;
        }
        return bits;
    }

    // Copies a run of at most a chunk; up to kChunk bytes are read and written.
    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t) { std::memcpy(out, in, kChunk); }

    // Moves a chunk towards the front (out <= in) without the bytes flagged in
    // `drop`; returns the new end. Bytes are never stored ahead of a load.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        return CompactBytes(out, in, kChunk, drop);
    }

    // The same for the first `count` bytes, without a branch on the bytes.
    static unsigned char* CompactBytes(unsigned char* out, const unsigned char* in, ptrdiff_t count, uint64_t drop)
    {
        for (ptrdiff_t i = 0; i < count; ++i) {
            *out = in[i];
            out += 1 - ((drop >> i) & 1);
        }
        return out;
    }

protected:
    // CopyRun for the sets with 16-byte blocks (Set::Load, Set::Store): two
    // blocks, and two more only for a longer run (most runs between special
    // bytes are short), each a whole-block copy rather than one sized to the
    // run.
    template <typename Set>
    static void CopyRunInBlocks(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        constexpr ptrdiff_t kBlock = Set::kBlock;
        Set::Store(out, Set::Load(in));
        Set::Store(out + kBlock, Set::Load(in + kBlock));
        if (length > 2 * kBlock) {
            Set::Store(out + 2 * kBlock, Set::Load(in + 2 * kBlock));
            Set::Store(out + 3 * kBlock, Set::Load(in + 3 * kBlock));
        }
    }
};

static_assert(Conforms<Portable>());

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
