#pragma once

// Small helpers the converters and the reader share: the bytes they look for,
// byte searches, 16-byte block loads and compares (SSE2, which every x86-64
// has), and the bookkeeping every converter call ends with.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/convert.h"

// GLYPHMILL_PORTABLE turns every vector path off, so that the portable code
// does all the work (it is what hosts without SSE2 run).
#if defined(__SSE2__) && !defined(GLYPHMILL_PORTABLE)
#include <emmintrin.h>
#define GLYPHMILL_SSE2 1
#endif

// For the per-block helpers of the hot loops, which compilers tend to leave
// out of line.
#if defined(__GNUC__)
#define GLYPHMILL_INLINE inline __attribute__((always_inline))
#else
#define GLYPHMILL_INLINE inline
#endif

namespace bytescan {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';
constexpr unsigned char kCtrlZ = 0x1A;

// The vector blocks, and the chunks of four blocks whose special bytes are
// found in one go (one bit each in a 64-bit mask).
constexpr ptrdiff_t kBlock = 16;
constexpr ptrdiff_t kChunk = 4 * kBlock;

// The first `byte` in [from, from + size), or null.
inline const unsigned char* FindFirst(const unsigned char* from, size_t size, unsigned char byte)
{
    return static_cast<const unsigned char*>(std::memchr(from, byte, size));
}

// The last `byte` in [from, from + size), or null.
inline const unsigned char* FindLast(const unsigned char* from, size_t size, unsigned char byte)
{
#if defined(__GLIBC__)
    return static_cast<const unsigned char*>(memrchr(from, byte, size));
#else
    for (size_t i = size; i > 0; --i) {
        if (from[i - 1] == byte) {
            return from + (i - 1);
        }
    }
    return nullptr;
#endif
}

inline unsigned LowestBit64(uint64_t bits)
{
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

// Eight bytes as one number with the first byte in the low bits, on every
// host: "abcdefgh" is 0x6867666564636261 on x86-64, arm64 and s390x alike.
// A big-endian host loads the bytes the other way round and swaps them; a
// compiler that does not say its byte order gets the order-free form.
inline uint64_t LoadLittleEndian64(const unsigned char* in)
{
    uint64_t word = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(&word, in, sizeof word);
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    std::memcpy(&word, in, sizeof word);
    word = __builtin_bswap64(word);
#else
    for (unsigned i = 0; i < sizeof word; ++i) {
        word |= uint64_t{in[i]} << (8 * i);
    }
#endif
    return word;
}

#if defined(GLYPHMILL_SSE2)
inline __m128i Load(const unsigned char* in)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
}

inline void Store(unsigned char* out, __m128i block)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
}

template <unsigned char kByte>
__m128i Equal(__m128i block)
{
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(kByte)));
}

// One bit per lane, lane 0 in bit 0.
inline unsigned Bits(__m128i lanes)
{
    return static_cast<unsigned>(_mm_movemask_epi8(lanes));
}

inline unsigned LowestBit(unsigned bits)
{
    return static_cast<unsigned>(__builtin_ctz(bits));
}

// Row n has its first n lanes set: a mask from a table load is cheaper than
// one broadcast from a lane number and a compare.
struct LaneMasks {
    alignas(16) unsigned char m_rows[kBlock + 2][kBlock] = {};
};

constexpr LaneMasks BuildLaneMasks()
{
    LaneMasks masks;
    for (ptrdiff_t row = 0; row < kBlock + 2; ++row) {
        for (ptrdiff_t lane = 0; lane < kBlock && lane < row; ++lane) {
            masks.m_rows[row][lane] = 0xFF;
        }
    }
    return masks;
}

inline constexpr LaneMasks kLaneMasks = BuildLaneMasks();

// The lanes before `lane`, for lane 0 to 17.
inline __m128i LanesBefore(unsigned lane)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kLaneMasks.m_rows[lane]));
}
#endif

// One bit per byte of a chunk that equals kByte, byte 0 in bit 0.
template <unsigned char kByte>
GLYPHMILL_INLINE uint64_t ChunkBits(const unsigned char* in)
{
    uint64_t bits = 0;
#if defined(GLYPHMILL_SSE2)
    for (ptrdiff_t block = 0; block < kChunk; block += kBlock) {
        bits |= uint64_t{Bits(Equal<kByte>(Load(in + block)))} << block;
    }
#else
    for (ptrdiff_t i = 0; i < kChunk; ++i) {
        bits |= uint64_t{in[i] == kByte} << i;
    }
#endif
    return bits;
}

// One bit per byte of a chunk for which `isSpecial(byte)` holds.
template <typename Predicate>
GLYPHMILL_INLINE uint64_t ChunkBitsWhere(const unsigned char* in, Predicate isSpecial)
{
    uint64_t bits = 0;
    for (ptrdiff_t i = 0; i < kChunk; ++i) {
        bits |= uint64_t{isSpecial(in[i])} << i;
    }
    return bits;
}

// Copies a run of at most a chunk with whole-block stores (up to kChunk
// bytes are read and written): cheaper than a branch on a length no
// predictor knows.
GLYPHMILL_INLINE void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
{
#if defined(GLYPHMILL_SSE2)
    Store(out, Load(in));
    Store(out + kBlock, Load(in + kBlock));
    if (length > 2 * kBlock) {
        Store(out + 2 * kBlock, Load(in + 2 * kBlock));
        Store(out + 3 * kBlock, Load(in + 3 * kBlock));
    }
#else
    static_cast<void>(length);
    std::memcpy(out, in, kChunk);
#endif
}

// Entity and URI converters start a step only below this limit: a step writes
// at most 8 bytes and its fixed-size copy stays inside CONVERT_HEADROOM.
inline unsigned char* OutputLimit(unsigned char* output, uint32_t capacity)
{
    return output + (capacity > CONVERT_HEADROOM ? capacity - CONVERT_HEADROOM : 0);
}

// Moves the cursor and the count in step to `in` and returns the bytes written.
inline uint32_t Finish(const unsigned char** cursor, uint32_t* remaining, const unsigned char* in,
                       const unsigned char* output, const unsigned char* out)
{
    *remaining -= static_cast<uint32_t>(in - *cursor);
    *cursor = in;
    return static_cast<uint32_t>(out - output);
}

// Copies the bytes before the next `kByte`, up to `stop` at most, and returns
// where it stopped. One block is tried first: where the byte is frequent, a
// library call per gap would cost more than the gap. It may write bytes past
// what it returns, never more than `stop - in` in all.
template <unsigned char kByte>
const unsigned char* CopyUntil(const unsigned char* in, const unsigned char* stop, unsigned char*& out)
{
#if defined(GLYPHMILL_SSE2)
    if (stop - in >= kBlock) {
        const __m128i block = Load(in);
        Store(out, block);
        const unsigned mask = Bits(Equal<kByte>(block));
        if (mask != 0) {
            const int plain = __builtin_ctz(mask);
            out += plain;
            return in + plain;
        }
        in += kBlock;
        out += kBlock;
    }
#endif
    const unsigned char* const hit = FindFirst(in, static_cast<size_t>(stop - in), kByte);
    const unsigned char* const until = hit != nullptr ? hit : stop;
    std::memcpy(out, in, static_cast<size_t>(until - in));
    out += until - in;
    return until;
}

}  // namespace bytescan
