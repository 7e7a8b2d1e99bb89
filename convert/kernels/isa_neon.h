#pragma once

// The Neon set: AArch64 Advanced SIMD, 16-byte blocks, which every arm64
// processor has (no check at start: the build chooses it). Internal to the
// converters library.

#include "convert/kernels/isa_portable.h"
#include "convert/kernels/shuffle_rows.h"

#if defined(GLYPHMILL_NEON_KERNELS) && defined(__aarch64__)
#include <arm_neon.h>

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// 16-byte blocks; no movemask, so a chunk's bits come from four compares
// weighted by lane and summed pairwise.
struct Neon : Portable {
    static constexpr bool kHasWideCompare = true;
    // Four 64-entry lookups (vqtbl4q_u8) cover a 256-entry table.
    static constexpr bool kHasTableLookup = true;
    static constexpr ptrdiff_t kBlock = 16;

    static uint8x16_t Load(const unsigned char* in) { return vld1q_u8(in); }
    static void Store(unsigned char* out, uint8x16_t block) { vst1q_u8(out, block); }

    // Lane i of every block is 1 << (i % 8).
    static uint8x16_t LaneWeights()
    {
        static constexpr unsigned char kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
        return vld1q_u8(kWeights);
    }

    // One bit per lane of a compare result, lane 0 in bit 0.
    static unsigned Bits(uint8x16_t lanes)
    {
        const uint8x16_t weighted = vandq_u8(lanes, LaneWeights());
        return vaddv_u8(vget_low_u8(weighted)) | static_cast<unsigned>(vaddv_u8(vget_high_u8(weighted))) << 8;
    }

    // The 64 bits of four compare results (bytes 0-15, 16-31, 32-47, 48-63).
    static uint64_t Bits64(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d)
    {
        const uint8x16_t weights = LaneWeights();
        const uint8x16_t ab = vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights));
        const uint8x16_t cd = vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights));
        const uint8x16_t abcd = vpaddq_u8(ab, cd);
        return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(abcd, abcd)), 0);
    }

    template <typename Lanes>
    static uint64_t Chunk(const unsigned char* in, Lanes lanes)
    {
        const uint8x16x4_t blocks = vld1q_u8_x4(in);
        return Bits64(lanes(blocks.val[0]), lanes(blocks.val[1]), lanes(blocks.val[2]), lanes(blocks.val[3]));
    }

    template <unsigned char kByte>
    static uint8x16_t Equal(uint8x16_t block)
    {
        return vceqq_u8(block, vdupq_n_u8(kByte));
    }

    template <unsigned char kFirst, unsigned char kLast>
    static uint8x16_t InRange(uint8x16_t block)
    {
        if constexpr (kFirst == kLast) {
            return vceqq_u8(block, vdupq_n_u8(kFirst));
        } else {
            // byte - kFirst, as an unsigned byte, is at most kLast - kFirst.
            return vcleq_u8(vsubq_u8(block, vdupq_n_u8(kFirst)), vdupq_n_u8(kLast - kFirst));
        }
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return Chunk(in, [](uint8x16_t block) { return Equal<kByte>(block); });
    }

    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in,
                     [](uint8x16_t block) { return vreinterpretq_u8_s8(vshrq_n_s8(vreinterpretq_s8_u8(block), 7)); });
    }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        return Chunk(in, [](uint8x16_t block) { return InRange<kFirst, kLast>(block); });
    }

    // Bytes whose entry in `table` (256 entries) is non-zero: each quarter of
    // the table is one 64-entry lookup, which gives 0 for an index beyond it.
    static uint64_t Lookup64(const unsigned char* in, const unsigned char* table)
    {
        const uint8x16x4_t quarters[4] = {vld1q_u8_x4(table), vld1q_u8_x4(table + 64), vld1q_u8_x4(table + 128),
                                          vld1q_u8_x4(table + 192)};
        const uint8x16_t sixtyFour = vdupq_n_u8(64);
        return Chunk(in, [&](uint8x16_t block) {
            uint8x16_t found = vqtbl4q_u8(quarters[0], block);
            for (int quarter = 1; quarter < 4; ++quarter) {
                block = vsubq_u8(block, sixtyFour);
                found = vorrq_u8(found, vqtbl4q_u8(quarters[quarter], block));
            }
            return vtstq_u8(found, found);
        });
    }

    // -i and -i- by whole chunks, as Avx512 does them, with table shuffles:
    // eight bytes per shuffle and a row of shuffle_rows.h, no branch on the
    // bytes.
    template <typename ReservedBits, typename EscapeStep>
    static void UriEncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        EscapeChunksByGroups<Neon>(in, end, out, limit, reservedBits, step);
    }

    static void UriDecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        DecodeChunksInPlace<Neon>(in, end, out, limit);
    }

    // The pieces of Portable's URI chunk loops.

    // Eight bytes, those in `mask` escaped: two table shuffles from the
    // bytes, their hex digits and '%'.
    GLYPHMILL_INLINE static unsigned char* EscapeGroup(const unsigned char* in, unsigned char* out, unsigned mask)
    {
        static constexpr unsigned char kLowerHex[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                        '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
        const uint8x16_t digits = vld1q_u8(kLowerHex);
        const uint8x8_t bytes = vld1_u8(in);
        const uint8x8_t high = vqtbl1_u8(digits, vshr_n_u8(bytes, 4));
        const uint8x8_t low = vqtbl1_u8(digits, vand_u8(bytes, vdup_n_u8(0x0F)));
        const uint8x16x2_t sources = {vcombine_u8(bytes, high), vcombine_u8(low, vdup_n_u8('%'))};
        Store(out, vqtbl2q_u8(sources, Load(kEscapeRows.m_rows[mask])));
        Store(out + kBlock, vqtbl2q_u8(sources, Load(kEscapeRows.m_rows[mask] + kBlock)));
        return out + kEscapeRows.m_length[mask];
    }

    // The chunk at `in` into `merged` with each escape's byte in place of its
    // '%'; returns the escapes' lanes.
    GLYPHMILL_INLINE static uint64_t DecodeEscapes(const unsigned char* in, unsigned char* merged)
    {
        uint8x16_t escapeLanes[4];
        for (int block = 0; block < 4; ++block) {
            const unsigned char* const at = in + block * kBlock;
            uint8x16_t high;
            uint8x16_t low;
            const uint8x16_t digits = vandq_u8(HexDigits(Load(at + 1), high), HexDigits(Load(at + 2), low));
            escapeLanes[block] = vandq_u8(Equal<'%'>(Load(at)), digits);
            const uint8x16_t decoded = vorrq_u8(vshlq_n_u8(high, 4), low);
            Store(merged + block * kBlock, vbslq_u8(escapeLanes[block], decoded, Load(at)));
        }
        return Bits64(escapeLanes[0], escapeLanes[1], escapeLanes[2], escapeLanes[3]);
    }

    static unsigned char* CompactDecoded(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        return Compact64(out, in, drop);
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        CopyRunInBlocks<Neon>(out, in, length);
    }

    // Eight bytes at a time, one table shuffle each (vtbl1_u8) and no branch
    // on the bytes: the eight bytes are loaded before they are stored, and
    // out never passes in, so no store reaches a byte not yet loaded.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        for (ptrdiff_t i = 0; i < kChunk; i += 8) {
            const unsigned mask = static_cast<unsigned>(drop >> i) & 0xFF;
            const uint8x8_t bytes = vld1_u8(in + i);
            vst1_u8(out, vtbl1_u8(bytes, vld1_u8(kDropRows.m_rows[mask])));
            out += kDropRows.m_kept[mask];
        }
        return out;
    }

    // The byte map's upper half is 128 entries: two 64-entry lookups
    // (vqtbl4q_u8), each 0 for an index beyond its entries; the lower half is
    // the identity, so those bytes are kept.
    static unsigned char* MapHighBytes(const unsigned char* table, unsigned char* at, const unsigned char* end)
    {
        const uint8x16x4_t first = vld1q_u8_x4(table + 128);
        const uint8x16x4_t second = vld1q_u8_x4(table + 192);
        const uint8x16_t top = vdupq_n_u8(0x80);
        const uint8x16_t sixtyFour = vdupq_n_u8(64);
        for (; end - at >= kBlock; at += kBlock) {
            const uint8x16_t bytes = Load(at);
            // 0x80-0xFF to 0-127; 0-0x7F to 128-255, beyond both lookups.
            const uint8x16_t index = veorq_u8(bytes, top);
            const uint8x16_t mapped =
                vorrq_u8(vqtbl4q_u8(first, index), vqtbl4q_u8(second, vsubq_u8(index, sixtyFour)));
            Store(at, vbslq_u8(vcgeq_u8(bytes, top), mapped, bytes));
        }
        return at;
    }

    // -w: blocks of 16 bytes while the output has room for every LF of one to
    // double and for one more 16-byte store. A block without CR and with at
    // most one LF, as in most text, is one shuffle and one store without a
    // branch on where the LF is.
    static void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        using bytescan::kCR;
        using bytescan::kLF;
        static constexpr unsigned char kLanes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        const uint8x16_t lanes = vld1q_u8(kLanes);
        while (end - in >= 2 * kBlock && limit - out >= 4 * kBlock) {
            const uint8x16_t bytes = Load(in);
            const uint8x16_t lfLanes = Equal<kLF>(bytes);
            const uint8x16_t crLanes = Equal<kCR>(bytes);
            // Most blocks of text have neither: one across-lane maximum says so.
            if (vmaxvq_u8(vorrq_u8(lfLanes, crLanes)) == 0) {
                Store(out, bytes);
                out += kBlock;
                in += kBlock;
                continue;
            }
            const unsigned lf = Bits(lfLanes);
            const unsigned cr = Bits(crLanes);
            if ((cr | (lf & (lf - 1))) != 0) {
                ToWindowsBlockSteps<Neon>(in, out, cr | lf);
                continue;
            }
            const unsigned at = bytescan::LowestBit(lf | 1u << kBlock);
            // Lane i takes byte i before `at`, CR at `at` and byte i - 1 after.
            const uint8x16_t where = vdupq_n_u8(static_cast<unsigned char>(at));
            const uint8x16_t after = vcgtq_u8(lanes, where);
            const uint8x16_t index = vaddq_u8(lanes, after);  // i - 1 after `at`
            const uint8x16_t isAt = vceqq_u8(lanes, where);
            const uint8x16_t shifted = vqtbl1q_u8(bytes, index);
            Store(out, vbslq_u8(isAt, vdupq_n_u8(kCR), shifted));
            out[kBlock] = in[kBlock - 1];
            out += kBlock + (lf != 0 ? 1 : 0);
            in += kBlock;
        }
    }

private:
    // The lanes holding a hex digit (either case), and in `values` each such
    // lane's value.
    static uint8x16_t HexDigits(uint8x16_t bytes, uint8x16_t& values)
    {
        const uint8x16_t decimal = vsubq_u8(bytes, vdupq_n_u8('0'));
        const uint8x16_t letter = vsubq_u8(vorrq_u8(bytes, vdupq_n_u8(0x20)), vdupq_n_u8('a'));
        const uint8x16_t isDecimal = vcleq_u8(decimal, vdupq_n_u8(9));
        const uint8x16_t isLetter = vcleq_u8(letter, vdupq_n_u8(5));
        values = vbslq_u8(isDecimal, decimal, vaddq_u8(letter, vdupq_n_u8(10)));
        return vorrq_u8(isDecimal, isLetter);
    }
};

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#endif
