#pragma once

// Small helpers the converters and the reader share: the bytes they look for,
// byte searches, loads whose byte order is fixed, and the bookkeeping every
// converter call ends with. The vector primitives are in kernels/isa.h.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/convert.h"

// Code compiled for several instruction sets lives in a namespace of its own
// per set (see kernels_<level>.cpp), so that the linker never merges an AVX
// copy of an inline function into code that runs on any processor.
#if !defined(GLYPHMILL_ISA_NS)
#define GLYPHMILL_ISA_NS baseline
#endif

// For the per-chunk helpers of the hot loops, which compilers tend to leave
// out of line.
#if defined(__GNUC__)
#define GLYPHMILL_INLINE inline __attribute__((always_inline))
#else
#define GLYPHMILL_INLINE inline
#endif

namespace bytescan {
inline namespace GLYPHMILL_ISA_NS {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';
constexpr unsigned char kCtrlZ = 0x1A;

// The chunks whose special bytes are found in one go: one bit each in a
// 64-bit mask.
constexpr ptrdiff_t kChunk = 64;

// For the kernels instead of std::min and std::max: each translation unit
// may emit its own copy of a std:: template, and the linker keeps one of them
// for every caller, perhaps one compiled for AVX-512. These stay in the
// level's namespace (the test level_objects_keep_to_their_namespace).
template <typename T>
constexpr T Min(T a, T b)
{
    return b < a ? b : a;
}

template <typename T>
constexpr T Max(T a, T b)
{
    return a < b ? b : a;
}

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

inline unsigned LowestBit(unsigned bits)
{
    return static_cast<unsigned>(__builtin_ctz(bits));
}

inline unsigned LowestBit64(uint64_t bits)
{
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

// Eight bytes as one number with the first byte in the low bits, on every
// host: "abcdefgh" is 0x6867666564636261 on x86-64, arm64 and s390x alike, so
// that masks and hash keys built from it are the same everywhere. A
// big-endian host loads the bytes the other way round and swaps them; a
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

// Copies the bytes before the next `byte`, up to `stop` at most, and returns
// where it stopped.
inline const unsigned char* CopyUntil(const unsigned char* in, const unsigned char* stop, unsigned char*& out,
                                      unsigned char byte)
{
    const unsigned char* const hit = FindFirst(in, static_cast<size_t>(stop - in), byte);
    const unsigned char* const until = hit != nullptr ? hit : stop;
    std::memcpy(out, in, static_cast<size_t>(until - in));
    out += until - in;
    return until;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace bytescan
