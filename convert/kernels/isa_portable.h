#pragma once

// The portable set: plain C++ for every host, and the reference every other
// set is tested against. Internal to the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"

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

    // The fast paths: none, the steps of the kernels do all the work.
    static void ToWindowsBlocks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*) {}

    template <typename ReservedBits, typename EscapeStep>
    static void UriEncodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                                ReservedBits, EscapeStep)
    {
    }

    static void UriDecodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*) {}

    static void EntityEncodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                                   const unsigned char*, const char (*)[8])
    {
    }

    static unsigned char* MapHighBytes(const unsigned char*, unsigned char* at, const unsigned char*) { return at; }

    static void ToUtf8Chunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                             const unsigned char (*)[128])
    {
    }

    static bool FromUtf8Chunk(const unsigned char*&, unsigned char*&, const unsigned char*, const unsigned char*)
    {
        return false;
    }

    // A chunk whose bytes at `special` need a step (the entity and URI
    // encoders): the runs between them copied whole and a step at each.
    // Set::CopyRun may read a chunk from the chunk's last byte on.
    template <typename Set, typename Step>
    GLYPHMILL_INLINE static void RunsAndSteps(const unsigned char*& in, unsigned char*& out, uint64_t special,
                                              Step step)
    {
        const unsigned char* const chunk = in;
        for (uint64_t left = special; left != 0; left &= left - 1) {
            const unsigned char* const next = chunk + bytescan::LowestBit64(left);
            Set::CopyRun(out, in, next - in);
            out += next - in;
            in = next;
            step(in, out);
        }
        Set::CopyRun(out, in, chunk + kChunk - in);
        out += chunk + kChunk - in;
        in = chunk + kChunk;
    }

protected:
    // -i's chunk paths: a chunk with at most kFewEscapes bytes to escape goes
    // by RunsAndSteps, which costs less there than converting it whole.
    static constexpr int kFewEscapes = 2;

    // -i for the sets that escape eight bytes with one row of kEscapeRows
    // (shuffle_rows.h): whole chunks while the output has room for every byte
    // escaped and the last group's full stores; Set::EscapeGroup(in, out,
    // mask) writes the group at `in` with the bytes of `mask` escaped (up to
    // 32 bytes) and returns the output's new end.
    template <typename Set, typename ReservedBits, typename EscapeStep>
    GLYPHMILL_INLINE static void EscapeChunksByGroups(const unsigned char*& in, const unsigned char* end,
                                                      unsigned char*& out, const unsigned char* limit,
                                                      ReservedBits reservedBits, EscapeStep step)
    {
        while (end - in >= 2 * kChunk && limit - out >= 4 * kChunk) {
            const uint64_t reserved = reservedBits(in);
            if (__builtin_popcountll(reserved) <= kFewEscapes) {
                RunsAndSteps<Set>(in, out, reserved, step);
                continue;
            }
            for (int group = 0; group < kChunk / 8; ++group) {
                out = Set::EscapeGroup(in + 8 * group, out, static_cast<unsigned>(reserved >> (8 * group)) & 0xFF);
            }
            in += kChunk;
        }
    }

    // -i- for the sets that decode a chunk's escapes in place and compact it
    // by shuffles: whole chunks while the two bytes after a chunk can be read
    // and the output has room for a full chunk. The escapes of a chunk are
    // found at once (a digit is never a '%', so they never overlap):
    // Set::DecodeEscapes(in, merged) writes the chunk with each escape's byte
    // in place of its '%' and returns the escapes' lanes;
    // Set::CompactDecoded(out, merged, drop) drops the digits. The digits of
    // an escape at the end of a chunk are dropped from the front of the next
    // one; the cursor ends past the last escape's digits.
    template <typename Set>
    GLYPHMILL_INLINE static void DecodeChunksInPlace(const unsigned char*& in, const unsigned char* end,
                                                     unsigned char*& out, const unsigned char* limit)
    {
        uint64_t carried = 0;  // lanes of this chunk that are digits of the last one's escape
        while (end - in >= kChunk + 2 && limit - out >= kChunk) {
            if (Set::template Equal64<'%'>(in) == 0 && carried == 0) {
                Set::CopyRun(out, in, kChunk);
                out += kChunk;
                in += kChunk;
                continue;
            }
            alignas(32) unsigned char merged[kChunk];
            const uint64_t escapes = Set::DecodeEscapes(in, merged);
            out = Set::CompactDecoded(out, merged, escapes << 1 | escapes << 2 | carried);
            in += kChunk;
            // Two digits past an escape in the last lane, one past one in the lane before.
            carried = escapes >> 62 | escapes >> 63;
        }
        in += carried == 0 ? 0 : 64 - __builtin_clzll(carried);
    }

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

    // -w for the sets with 16-byte blocks: one block by steps, the runs
    // between its CR and LF bytes (`ends`) copied a block at a time. A run
    // copy may read kBlock bytes from the last byte of the block on.
    template <typename Set>
    static void ToWindowsBlockSteps(const unsigned char*& in, unsigned char*& out, unsigned ends)
    {
        constexpr ptrdiff_t kBlock = Set::kBlock;
        const unsigned char* const block = in;
        for (;; ends &= ends - 1) {
            const unsigned char* const next = block + (ends != 0 ? bytescan::LowestBit(ends) : kBlock);
            Set::Store(out, Set::Load(in));
            out += next - in;
            in = next;
            if (ends == 0) {
                return;
            }
            if (*in++ == bytescan::kLF) {
                *out++ = bytescan::kCR;
                *out++ = bytescan::kLF;
            }
        }
    }
};

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
