#pragma once

// The AVX2 set: 32-byte blocks. Internal to the converters library.

#include "convert/kernels/isa_sse2.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX2__) && defined(__BMI2__)
namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// 32-byte blocks.
struct Avx2 : Sse2 {
    static __m256i Load256(const unsigned char* in) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)); }
    static void Store256(unsigned char* out, __m256i block)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
    }
    static uint64_t Bits256(__m256i lanes) { return static_cast<uint32_t>(_mm256_movemask_epi8(lanes)); }

    template <typename BlockBits>
    static uint64_t Chunk(const unsigned char* in, BlockBits blockBits)
    {
        return blockBits(Load256(in)) | blockBits(Load256(in + 32)) << 32;
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        const __m256i byte = _mm256_set1_epi8(static_cast<char>(kByte));
        return Chunk(in, [byte](__m256i block) { return Bits256(_mm256_cmpeq_epi8(block, byte)); });
    }

    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in, [](__m256i block) { return Bits256(block); });
    }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        return Chunk(in, [](__m256i block) {
            const __m256i offset = _mm256_sub_epi8(block, _mm256_set1_epi8(static_cast<char>(kFirst)));
            const __m256i span = _mm256_set1_epi8(static_cast<char>(kLast - kFirst));
            return Bits256(_mm256_cmpeq_epi8(_mm256_min_epu8(offset, span), offset));
        });
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        Store256(out, Load256(in));
        if (length > 32) {
            Store256(out + 32, Load256(in + 32));
        }
    }
};

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#endif
