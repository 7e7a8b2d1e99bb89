#pragma once

// The Neon set: AArch64 Advanced SIMD, 16-byte blocks, which every arm64
// processor has (no check at start: its feature list is empty). Defines
// GLYPHMILL_SET_NEON where it exists. Internal to the converters library.

#include "convert/kernels/isa_portable.h"
#include "convert/kernels/shuffle_rows.h"

#if defined(GLYPHMILL_NEON_KERNELS) && defined(__aarch64__)
#include <arm_neon.h>

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// 16-byte blocks; no movemask, so a chunk's bits come from four compares
// weighted by lane and summed pairwise.
struct Neon : private Portable {
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
};

static_assert(Conforms<Neon>());

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#define GLYPHMILL_SET_NEON 1
#endif
