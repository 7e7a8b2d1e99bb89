#pragma once

// The AVX-512 set (BW, VL, VBMI, VBMI2): 64-byte registers with byte masks,
// byte compress and two-register permutes, which let -w, -x, the URI
// converters and the byte map convert whole blocks without a step, and a
// chunk be looked up in a 256-entry table. Internal to the
// converters library.

#include "convert/kernels/isa_avx2.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512BW__) && defined(__AVX512VBMI__) && defined(__AVX512VBMI2__)
namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// The bytes of a group in Avx512::ToUtf8Chunks: their three-byte slots fill
// a register but for one lane.
constexpr unsigned kUtf8SlotBytes = kChunk / 3;

// Lane 3i + j of a group's slots: byte j of the UTF-8 of the group's byte i,
// taken from the first plane, the second (index + 64) or the third; and the
// lanes of the first bytes.
struct Utf8Slots {
    unsigned char m_lanes[kChunk] = {};
    uint64_t m_firsts = 0;
};

constexpr Utf8Slots BuildUtf8Slots()
{
    Utf8Slots slots;
    for (unsigned lane = 0; lane < 3 * kUtf8SlotBytes; ++lane) {
        slots.m_lanes[lane] = static_cast<unsigned char>(lane / 3 + (lane % 3 == 1 ? 64 : 0));
        slots.m_firsts |= uint64_t{lane % 3 == 0} << lane;
    }
    return slots;
}

inline constexpr Utf8Slots kUtf8Slots = BuildUtf8Slots();

// Index rows for Avx512::FromUtf8Chunk: bytes 0 to 31 into the even lanes
// (16-bit lanes, with the odd ones zeroed); 16-bit lanes 0 to 15 into the
// even 16-bit lanes (32-bit lanes); the low byte of each 32-bit lane of two
// registers into bytes 0 to 31.
struct Utf8Widen {
    unsigned char m_bytes[kChunk] = {};
    uint16_t m_words[kChunk / 2] = {};
    unsigned char m_lowBytes[kChunk] = {};
};

constexpr Utf8Widen BuildUtf8Widen()
{
    Utf8Widen widen;
    for (unsigned lane = 0; lane < kChunk; ++lane) {
        widen.m_bytes[lane] = static_cast<unsigned char>(lane / 2);
        widen.m_lowBytes[lane] = static_cast<unsigned char>(lane < 16   ? 4 * lane
                                                            : lane < 32 ? 64 + 4 * (lane - 16)
                                                                        : 0);
    }
    for (unsigned lane = 0; lane < kChunk / 2; ++lane) {
        widen.m_words[lane] = static_cast<uint16_t>(lane / 2);
    }
    return widen;
}

inline constexpr Utf8Widen kUtf8Widen = BuildUtf8Widen();
constexpr uint64_t kEvenLanes = 0x5555555555555555u;

struct Avx512 : Avx2 {
    static __m512i Load512(const unsigned char* in) { return _mm512_loadu_si512(in); }
    static void Store512(unsigned char* out, __m512i block) { _mm512_storeu_si512(out, block); }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return _mm512_cmpeq_epi8_mask(Load512(in), _mm512_set1_epi8(static_cast<char>(kByte)));
    }

    static uint64_t High64(const unsigned char* in) { return _mm512_movepi8_mask(Load512(in)); }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        const __m512i offset = _mm512_sub_epi8(Load512(in), _mm512_set1_epi8(static_cast<char>(kFirst)));
        return _mm512_cmple_epu8_mask(offset, _mm512_set1_epi8(static_cast<char>(kLast - kFirst)));
    }

    static constexpr bool kHasTableLookup = true;

    // The table in four registers: each byte looked up in the half its top
    // bit chooses, by its low seven bits.
    static uint64_t Lookup64(const unsigned char* in, const unsigned char* table)
    {
        const __m512i bytes = Load512(in);
        const __m512i low = _mm512_permutex2var_epi8(Load512(table), bytes, Load512(table + 64));
        const __m512i high = _mm512_permutex2var_epi8(Load512(table + 128), bytes, Load512(table + 192));
        const __m512i entries = _mm512_mask_mov_epi8(low, _mm512_movepi8_mask(bytes), high);
        return _mm512_test_epi8_mask(entries, entries);
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t) { Store512(out, Load512(in)); }

    // One compress and one store, whatever the bytes dropped.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        Store512(out, _mm512_maskz_compress_epi8(~drop, Load512(in)));
        return out + (kChunk - __builtin_popcountll(drop));
    }

    // -w: 32 bytes at a time, whatever they hold: every byte widened to a
    // two-byte slot, CR LF put in the slot of each LF, and the lanes in use
    // (the first of every slot but a CR's, the second of an LF's) compressed
    // together.
    static void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        using bytescan::kCR;
        using bytescan::kLF;
        constexpr uint64_t kFirstLanes = 0x5555555555555555u;
        constexpr uint64_t kSecondLanes = 0xAAAAAAAAAAAAAAAAu;
        while (end - in >= 32 && limit - out >= 64) {
            const __m512i slots =
                _mm512_maskz_cvtepu8_epi16(~__mmask32{0}, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
            const uint64_t lf = _mm512_cmpeq_epi16_mask(slots, _mm512_set1_epi16(kLF));
            const uint64_t cr = _mm512_cmpeq_epi16_mask(slots, _mm512_set1_epi16(kCR));
            // On x86 the first byte of a slot is its low half: CR, then LF.
            const __m512i pairs = _mm512_mask_mov_epi16(slots, static_cast<__mmask32>(lf), _mm512_set1_epi16(0x0A0D));
            const uint64_t keep = (kFirstLanes & ~_pdep_u64(cr, kFirstLanes)) | _pdep_u64(lf, kSecondLanes);
            _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, pairs));
            out += __builtin_popcountll(keep);
            in += 32;
        }
    }

    // -i: whole chunks while the output has room for every byte escaped and
    // the last block's full store. A chunk with few bytes to escape is copied
    // in runs between the kernel's steps; for one with many, its first 63
    // bytes go as three blocks without a step, and the next chunk starts at
    // the 64th. A run copy may read a chunk from the last byte of the chunk
    // on.
    template <typename ReservedBits, typename EscapeStep>
    static void UriEncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        while (end - in >= 2 * kChunk && limit - out >= 4 * kChunk) {
            const uint64_t reserved = reservedBits(in);
            if (__builtin_popcountll(reserved) <= kFewEscapes) {
                RunsAndSteps<Avx512>(in, out, reserved, step);
                continue;
            }
            for (unsigned block = 0; block + kEscapeBlock <= kChunk; block += kEscapeBlock) {
                EscapeBlock(in, out, reserved >> block);
            }
        }
    }

    // -i-: whole chunks while the two bytes after a chunk can be read and the
    // output has room for a full store: the escapes of a chunk are found at
    // once (a digit is never a '%', so escapes never overlap), their bytes put
    // in place of the '%' and the digits compressed away. The digits of an
    // escape at the end of a chunk are dropped from the front of the next
    // one; the chunks themselves follow one another at a fixed stride, so
    // that the loads never wait for the decoding. A step is never divided:
    // the cursor ends past the last escape's digits.
    static void UriDecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        uint64_t carried = 0;  // lanes of this chunk that are digits of the last one's escape
        while (end - in >= kChunk + 2 && limit - out >= kChunk) {
            const __m512i bytes = Load512(in);
            const uint64_t percents = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(kPercent)) & ~carried;
            if (percents == 0 && carried == 0) {
                Store512(out, bytes);
                out += kChunk;
                in += kChunk;
                continue;
            }
            __m512i high;
            __m512i low;
            const __mmask64 highDigits = HexDigits(Load512(in + 1), high);
            const __mmask64 lowDigits = HexDigits(Load512(in + 2), low);
            const uint64_t escapes = percents & highDigits & lowDigits;
            // Shifted as 16-bit lanes, so only the digit's own four bits may stay.
            const __m512i highNibbles = _mm512_slli_epi16(_mm512_and_si512(high, _mm512_set1_epi8(0x0F)), 4);
            const __m512i merged = _mm512_mask_mov_epi8(bytes, escapes, _mm512_or_si512(highNibbles, low));
            const uint64_t drop = escapes << 1 | escapes << 2 | carried;
            Store512(out, _mm512_maskz_compress_epi8(~drop, merged));
            out += kChunk - __builtin_popcountll(drop);
            in += kChunk;
            // Two digits past an escape in the last lane, one past one in the lane before.
            carried = escapes >> 62 | escapes >> 63;
        }
        in += carried == 0 ? 0 : 64 - __builtin_clzll(carried);
    }

    // -x: whole chunks while the output has room for a text (8 bytes) at every
    // byte and one more run copy, as the steps' own loop. The extra length of
    // every byte's text (its length less one, at least 2; 0 for a byte without
    // one) is looked up for the whole chunk at once by two permutes, which
    // also find the bytes to encode; where each run and each text goes is the
    // chunk's start plus the extra lengths of the texts before it. `extra` has
    // 256 entries, `encoded` the texts padded to 8 bytes. Faster than the
    // steps on XML text, slower on Latin-1 text, where most chunks have
    // several texts, so -h keeps the steps (docs/BENCHMARKS.md).
    static void EntityEncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                   const unsigned char* limit, const unsigned char* extra, const char (*encoded)[8])
    {
        const __m512i low0 = _mm512_loadu_si512(extra);
        const __m512i low1 = _mm512_loadu_si512(extra + 64);
        const __m512i high0 = _mm512_loadu_si512(extra + 128);
        const __m512i high1 = _mm512_loadu_si512(extra + 192);
        while (end - in >= 2 * kChunk && limit - out >= kChunk * (8 + 2)) {
            const __m512i bytes = Load512(in);
            const __m512i lows = _mm512_permutex2var_epi8(low0, bytes, low1);
            const __m512i highs = _mm512_permutex2var_epi8(high0, bytes, high1);
            const __m512i extras = _mm512_mask_mov_epi8(lows, _mm512_movepi8_mask(bytes), highs);
            const uint64_t special = _mm512_test_epi8_mask(extras, extras);
            if (special == 0) {
                Store512(out, bytes);
                in += kChunk;
                out += kChunk;
                continue;
            }
            unsigned from = 0;   // the first byte of the chunk not yet written
            unsigned shift = 0;  // the extra bytes written for the chunk so far
            for (uint64_t left = special; left != 0; left &= left - 1) {
                const unsigned at = static_cast<unsigned>(bytescan::LowestBit64(left));
                const unsigned char byte = in[at];
                CopyRun(out + from + shift, in + from, at - from);
                std::memcpy(out + at + shift, encoded[byte], 8);
                // A running sum: one load and one add a text.
                shift += extra[byte];
                from = at + 1;
            }
            CopyRun(out + from + shift, in + from, kChunk - from);
            in += kChunk;
            out += kChunk + shift;
        }
    }

    // The byte map: the upper half of the table in two registers; a chunk's
    // bytes from 0x80 up are looked up in both at once by their low seven bits.
    static unsigned char* MapHighBytes(const unsigned char* table, unsigned char* at, const unsigned char* end)
    {
        const __m512i first = _mm512_loadu_si512(table + 128);
        const __m512i second = _mm512_loadu_si512(table + 192);
        for (; end - at >= kChunk; at += kChunk) {
            const __m512i bytes = Load512(at);
            const __mmask64 high = _mm512_movepi8_mask(bytes);
            const __m512i mapped = _mm512_permutex2var_epi8(first, bytes, second);
            Store512(at, _mm512_mask_mov_epi8(bytes, high, mapped));
        }
        return at;
    }

    // -a to UTF-8: a chunk's bytes from 0x80 up looked up in the three planes
    // at once, then 21 bytes at a time spread into three-byte slots (the
    // first, second and third byte of each byte's UTF-8) by two permutes, and
    // the bytes in use compressed together: one for ASCII, two or three for
    // the others, as their first byte says. Three groups take 63 bytes of
    // the chunk; its last byte starts the next.
    static void ToUtf8Chunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit, const unsigned char (*planes)[128])
    {
        const __m512i first0 = Load512(planes[0]);
        const __m512i first1 = Load512(planes[0] + 64);
        const __m512i second0 = Load512(planes[1]);
        const __m512i second1 = Load512(planes[1] + 64);
        const __m512i third0 = Load512(planes[2]);
        const __m512i third1 = Load512(planes[2] + 64);
        const __m512i slots = Load512(kUtf8Slots.m_lanes);
        const __m512i threeBytesFrom = _mm512_set1_epi8(static_cast<char>(0xE0));
        constexpr uint64_t kFirsts = kUtf8Slots.m_firsts;
        constexpr uint64_t kSeconds = kFirsts << 1;
        constexpr uint64_t kThirds = kFirsts << 2;
        constexpr unsigned kGroup = kUtf8SlotBytes;
        // A chunk writes at most three times itself, each group's store a
        // chunk from where the group starts.
        while (end - in >= kChunk && limit - out >= 4 * kChunk) {
            const __m512i bytes = Load512(in);
            const uint64_t high = _mm512_movepi8_mask(bytes);
            if (high == 0) {
                Store512(out, bytes);
                in += kChunk;
                out += kChunk;
                continue;
            }
            const __m512i first = _mm512_mask_mov_epi8(bytes, high, _mm512_permutex2var_epi8(first0, bytes, first1));
            const __m512i second = _mm512_permutex2var_epi8(second0, bytes, second1);
            const __m512i third = _mm512_permutex2var_epi8(third0, bytes, third1);
            const uint64_t three = _mm512_mask_cmpge_epu8_mask(high, first, threeBytesFrom);
            for (unsigned group = 0; group < 3; ++group) {
                const __m512i index = _mm512_add_epi8(slots, _mm512_set1_epi8(static_cast<char>(kGroup * group)));
                __m512i spread = _mm512_permutex2var_epi8(first, index, second);
                spread = _mm512_mask_permutexvar_epi8(spread, kThirds, index, third);
                const uint64_t keep = kFirsts | _pdep_u64(high >> (kGroup * group), kSeconds) |
                                      _pdep_u64(three >> (kGroup * group), kThirds);
                Store512(out, _mm512_maskz_compress_epi8(keep, spread));
                out += __builtin_popcountll(keep);
            }
            in += 3 * kGroup;
        }
    }

    // -a- from UTF-8: a chunk of ASCII and valid two- and three-byte
    // sequences (the sequences of almost all text) at once: the continuation
    // bytes found and checked against the leads, the leads' characters
    // computed in 16-bit lanes and looked up in the page's two-level table,
    // and put in place of the leads as the continuation bytes are compressed
    // out. A sequence the chunk's end cuts is left to the next
    // chunk; a chunk holding anything else (an invalid byte, a four-byte
    // sequence) is left to the steps. Reads 66 bytes at `in`, writes 64.
    static bool FromUtf8Chunk(const unsigned char*& in, unsigned char*& out, const unsigned char* rowOf,
                              const unsigned char* rows)
    {
        const __m512i bytes = Load512(in);
        const uint64_t high = _mm512_movepi8_mask(bytes);
        if (high == 0) {
            Store512(out, bytes);
            in += kChunk;
            out += kChunk;
            return true;
        }
        const __m512i top2 = _mm512_and_si512(bytes, _mm512_set1_epi8(static_cast<char>(0xC0)));
        const uint64_t follow = _mm512_cmpeq_epi8_mask(top2, _mm512_set1_epi8(static_cast<char>(0x80)));
        const uint64_t lead2 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(static_cast<char>(0xC2))),
                                                      _mm512_set1_epi8(0x1E));
        const uint64_t lead3 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(static_cast<char>(0xE0))),
                                                      _mm512_set1_epi8(0x10));
        if ((high & ~(follow | lead2 | lead3)) != 0) {
            return false;
        }
        // The bytes before a sequence that runs past the chunk.
        const uint64_t cut = ((lead2 | lead3) & uint64_t{1} << 63) | (lead3 & uint64_t{1} << 62);
        const unsigned whole = cut == 0 ? 64 : bytescan::LowestBit64(cut);
        const uint64_t inside = whole == 64 ? ~uint64_t{0} : (uint64_t{1} << whole) - 1;
        const uint64_t leads = (lead2 | lead3) & inside;
        const __m512i second = Load512(in + 1);
        // E0 needs a second byte from A0 up, ED one up to 9F: no overlong
        // form, no surrogate.
        const uint64_t e0 = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(0xE0)));
        const uint64_t ed = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(0xED)));
        const uint64_t below = _mm512_cmplt_epu8_mask(second, _mm512_set1_epi8(static_cast<char>(0xA0)));
        if (((follow ^ (lead2 << 1 | lead3 << 1 | lead3 << 2)) & inside) != 0 ||
            ((e0 & below) | (ed & ~below)) & leads) {
            return false;
        }
        // Each lead's character in a 16-bit lane, in the leads' order.
        const __m512i widen = Load512(kUtf8Widen.m_bytes);
        const __m512i firsts =
            _mm512_maskz_permutexvar_epi8(kEvenLanes, widen, _mm512_maskz_compress_epi8(leads, bytes));
        const __m512i seconds =
            _mm512_maskz_permutexvar_epi8(kEvenLanes, widen, _mm512_maskz_compress_epi8(leads, second));
        const __m512i thirds =
            _mm512_maskz_permutexvar_epi8(kEvenLanes, widen, _mm512_maskz_compress_epi8(leads, Load512(in + 2)));
        const __m512i low6 = _mm512_set1_epi16(0x3F);
        const __m512i two = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(firsts, _mm512_set1_epi16(0x1F)), 6),
                                            _mm512_and_si512(seconds, low6));
        const __m512i three = _mm512_or_si512(
            _mm512_or_si512(_mm512_slli_epi16(firsts, 12), _mm512_slli_epi16(_mm512_and_si512(seconds, low6), 6)),
            _mm512_and_si512(thirds, low6));
        const __m512i characters = _mm512_mask_mov_epi16(two, static_cast<__mmask32>(_pext_u64(lead3, leads)), three);
        // Their bytes, looked up one by one (a gather costs more than the
        // few characters of a chunk), four at a time.
        uint16_t looked[kChunk / 2 + 4] = {};
        _mm512_storeu_si512(looked, characters);
        uint64_t found[4] = {};  // as eight-byte words: one load each, no stall on bytes stored apart
        const unsigned count = static_cast<unsigned>(__builtin_popcountll(leads));
        for (unsigned i = 0; i < count; i += 4) {
            for (unsigned j = i; j < i + 4; ++j) {
                found[j / 8] |= uint64_t{rows[rowOf[looked[j] >> 8] * 256 + (looked[j] & 0xFF)]} << (8 * (j % 8));
            }
        }
        const __m512i mapped =
            _mm512_set_epi64(0, 0, 0, 0, static_cast<long long>(found[3]), static_cast<long long>(found[2]),
                             static_cast<long long>(found[1]), static_cast<long long>(found[0]));
        const uint64_t keep = ~follow & inside;
        const __m512i kept = _mm512_maskz_compress_epi8(keep, bytes);
        Store512(out, _mm512_mask_expand_epi8(kept, _pext_u64(leads, keep), mapped));
        out += __builtin_popcountll(keep);
        in += whole;
        return true;
    }

private:
    static constexpr unsigned char kPercent = '%';

    // The most bytes whose three-byte slots fill one register.
    static constexpr unsigned kEscapeBlock = 21;

    // kEscapeBlock bytes, `reserved` flagging those to escape, as one
    // permute from two registers into three-byte slots ('%', high digit, low
    // digit; or the byte alone) and one compress of the lanes in use. Reads 32
    // bytes at `in`, writes 64 at `out`.
    GLYPHMILL_INLINE static void EscapeBlock(const unsigned char*& in, unsigned char*& out, uint64_t reserved)
    {
        // Lane 3i of each slot i, and the two digit lanes after it.
        constexpr uint64_t kFirstLanes = 0x1249249249249249u;
        constexpr uint64_t kBlockBytes = (uint64_t{1} << kEscapeBlock) - 1;
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i digits =
            _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', '0', '1',
                             '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
        const __m256i nibble = _mm256_set1_epi8(0x0F);
        const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(bytes, nibble));
        // Sources: bytes 0-31, high digits 32-63, low digits 64-95, '%' 96-127.
        const __m512i bytesAndHigh = _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(bytes), high, 1);
        const __m512i lowAndPercent =
            _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(low), _mm256_set1_epi8(kPercent), 1);
        alignas(64) static constexpr unsigned char kEscapeIndex[64] = {
            96, 32, 64, 96, 33, 65, 96, 34, 66, 96, 35, 67, 96, 36, 68, 96, 37, 69, 96, 38, 70, 96,
            39, 71, 96, 40, 72, 96, 41, 73, 96, 42, 74, 96, 43, 75, 96, 44, 76, 96, 45, 77, 96, 46,
            78, 96, 47, 79, 96, 48, 80, 96, 49, 81, 96, 50, 82, 96, 51, 83, 96, 52, 84, 0};
        alignas(64) static constexpr unsigned char kByteIndex[64] = {
            0, 0,  0, 1, 0,  0, 2, 0,  0, 3, 0,  0, 4, 0,  0, 5, 0,  0, 6, 0,  0, 7, 0,  0, 8, 0,  0, 9, 0,  0, 10, 0,
            0, 11, 0, 0, 12, 0, 0, 13, 0, 0, 14, 0, 0, 15, 0, 0, 16, 0, 0, 17, 0, 0, 18, 0, 0, 19, 0, 0, 20, 0, 0,  0};
        const uint64_t plain = _pdep_u64(~reserved & kBlockBytes, kFirstLanes);
        const __m512i index =
            _mm512_mask_mov_epi8(_mm512_load_si512(kEscapeIndex), plain, _mm512_load_si512(kByteIndex));
        const __m512i slots = _mm512_permutex2var_epi8(bytesAndHigh, index, lowAndPercent);
        const uint64_t escaped = _pdep_u64(reserved & kBlockBytes, kFirstLanes);
        const uint64_t keep = kFirstLanes | escaped << 1 | escaped << 2;
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, slots));
        out += kEscapeBlock + 2 * static_cast<unsigned>(__builtin_popcountll(reserved & kBlockBytes));
        in += kEscapeBlock;
    }

    // The lanes of a chunk that hold a hexadecimal digit, and their values.
    GLYPHMILL_INLINE static __mmask64 HexDigits(__m512i bytes, __m512i& values)
    {
        const __m512i decimal = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
        const __m512i letter = _mm512_sub_epi8(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('a'));
        const __mmask64 isDecimal = _mm512_cmple_epu8_mask(decimal, _mm512_set1_epi8(9));
        const __mmask64 isLetter = _mm512_cmple_epu8_mask(letter, _mm512_set1_epi8(5));
        values = _mm512_mask_mov_epi8(_mm512_add_epi8(letter, _mm512_set1_epi8(10)), isDecimal, decimal);
        return isDecimal | isLetter;
    }
};

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#endif
