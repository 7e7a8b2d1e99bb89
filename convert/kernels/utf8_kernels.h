#pragma once

// A single-byte OEM page to UTF-8 and back, as templates over the instruction
// set (isa.h): ASCII is copied a chunk at a time, the bytes and characters
// beyond it are steps through the page's tables. Internal to the converters
// library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/generated/codepage_tables.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/steploop.h"

namespace utf8kernels {

// One page's tables, built once from the generated data (convert/utf8.cpp).
struct Page {
    // The UTF-8 of each byte (one to three bytes), then its length, so that a
    // step is one four-byte copy.
    unsigned char m_utf8[256][4];
    // The same for the bytes from 0x80 up, byte by byte: the first bytes of
    // their UTF-8, the second ones, the third ones (unused where there are
    // two), for the sets that look a chunk up at once.
    unsigned char m_planes[3][128];
    // The byte of each character up to U+FFFF: row m_rowOf[c >> 8], column
    // c & 0xFF. Row 0, all the default byte, serves every character block the
    // page writes nothing of.
    unsigned char m_rowOf[256];
    unsigned char m_rows[codepages::tables::kFromUnicodeRows + 1][256];
    // GLYPHMILL_UNMAPPED=fail: the rows hold exact counterparts alone, and
    // the conversion stops in front of a character they lack (the default
    // byte, which no character from U+0080 up has for its own) or of an
    // invalid part.
    bool m_stopAtLoss = false;
};

inline namespace GLYPHMILL_ISA_NS {

constexpr uint32_t kMaxUtf8Length = 3;  // of a byte's character: every page's are below U+10000
static_assert(kMaxUtf8Length + 1 <= CONVERT_HEADROOM, "a step's four-byte copy must fit in the output headroom");

// How Windows (MultiByteToWideChar, as wine runs it) reads a byte from 0x80
// up: how many continuation bytes the lead byte asks for (0: the byte alone
// is invalid, as a continuation byte, C0, C1 and F5 up are), and the range
// the first one must be in, which rules out overlong forms, surrogates and
// what lies above U+10FFFF.
struct LeadByte {
    unsigned char m_follow = 0;
    unsigned char m_secondLow = 0x80;
    unsigned char m_secondHigh = 0xBF;
};

struct LeadTable {
    LeadByte m_lead[256] = {};
};

constexpr LeadTable BuildLeadTable()
{
    LeadTable table;
    for (unsigned byte = 0xC2; byte < 0xF5; ++byte) {
        table.m_lead[byte].m_follow = static_cast<unsigned char>(byte < 0xE0 ? 1 : byte < 0xF0 ? 2 : 3);
    }
    table.m_lead[0xE0].m_secondLow = 0xA0;
    table.m_lead[0xED].m_secondHigh = 0x9F;
    table.m_lead[0xF0].m_secondLow = 0x90;
    table.m_lead[0xF4].m_secondHigh = 0x8F;
    return table;
}

inline constexpr LeadTable kLeads = BuildLeadTable();

GLYPHMILL_INLINE unsigned char ByteOf(const Page& page, uint32_t character)
{
    return page.m_rows[page.m_rowOf[character >> 8]][character & 0xFF];
}

// One character from the byte at `in` (from 0x80 up), as Windows reads it:
// a whole valid sequence, or one default byte for each invalid part. An
// invalid part is a lone byte that cannot start a sequence, or a lead byte
// with the continuation bytes that follow it up to the first that is none
// or that is out of range (that one included), or a sequence that `end`
// cuts short. A character above U+FFFF is two UTF-16 halves to Windows, each
// a character the page lacks. False, with nothing consumed or written, where
// the page stops at a loss and this is one.
template <bool kStopAtLoss>
GLYPHMILL_INLINE bool DecodeStep(const Page& page, const unsigned char*& in, const unsigned char* end,
                                 unsigned char*& out)
{
    using codepages::tables::kDefaultByte;
    const LeadByte lead = kLeads.m_lead[in[0]];
    const ptrdiff_t left = end - in - 1;
    if (lead.m_follow == 0 || left == 0 || (in[1] & 0xC0) != 0x80) {
        if constexpr (kStopAtLoss) {
            return false;
        }
        *out++ = kDefaultByte;
        ++in;
        return true;
    }
    if (in[1] < lead.m_secondLow || in[1] > lead.m_secondHigh) {
        if constexpr (kStopAtLoss) {
            return false;
        }
        *out++ = kDefaultByte;
        in += 2;
        return true;
    }
    uint32_t character = (in[0] & (0x3Fu >> lead.m_follow)) << 6 | (in[1] & 0x3Fu);
    for (ptrdiff_t k = 2; k <= lead.m_follow; ++k) {
        if (k > left || (in[k] & 0xC0) != 0x80) {
            if constexpr (kStopAtLoss) {
                return false;
            }
            *out++ = kDefaultByte;
            in += k;
            return true;
        }
        character = character << 6 | (in[k] & 0x3Fu);
    }
    if constexpr (kStopAtLoss) {
        // Above U+FFFF, Windows' two halves: each a character the page lacks.
        const unsigned char byte = character > 0xFFFF ? kDefaultByte : ByteOf(page, character);
        if (byte == kDefaultByte) {
            return false;
        }
        in += lead.m_follow + 1;
        *out++ = byte;
        return true;
    }
    in += lead.m_follow + 1;
    if (character > 0xFFFF) {
        character -= 0x10000;
        *out++ = ByteOf(page, 0xD800 + (character >> 10));
        *out++ = ByteOf(page, 0xDC00 + (character & 0x3FF));
        return true;
    }
    *out++ = ByteOf(page, character);
    return true;
}

// The fast paths per set: FastPath<V>::ToUtf8Chunks converts whole chunks
// from the front while its bounds allow and advances the pointers past what
// it did; FastPath<V>::FromUtf8Chunk converts one chunk at once, or returns
// false and leaves it to the steps. None by default; a set that does better
// has its specialisation below, compiled where the set is.
template <typename V>
struct FastPath {
    static void ToUtf8Chunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                             const unsigned char (*)[128])
    {
    }

    template <bool kStopAtLoss>
    static bool FromUtf8Chunk(const unsigned char*&, unsigned char*&, const Page&)
    {
        return false;
    }
};

#if defined(GLYPHMILL_SET_AVX512)
using bytescan::kChunk;

// The bytes of a group in FastPath<isa::Avx512>::ToUtf8Chunks: their three-byte slots fill
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

// Index rows for FastPath<isa::Avx512>::FromUtf8Chunk: bytes 0 to 31 into the even lanes
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

// Whether one of the first `count` bytes of the words is the default byte
// (those after them, looked up four at a time from zero, are that byte too).
GLYPHMILL_INLINE bool HasDefaultByte(const uint64_t (&found)[4], unsigned count)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    uint64_t seen = 0;
    for (unsigned word = 0; word * 8 < count; ++word) {
        const unsigned bytes = count - word * 8;
        const uint64_t x = found[word] ^ (kOnes * codepages::tables::kDefaultByte);
        const uint64_t zeros = (x - kOnes) & ~x & kOnes << 7;
        seen |= bytes >= 8 ? zeros : zeros & ((uint64_t{1} << (8 * bytes)) - 1);
    }
    return seen != 0;
}

constexpr uint64_t kEvenLanes = 0x5555555555555555u;

template <>
struct FastPath<isa::Avx512> {
    static __m512i Load512(const unsigned char* in) { return isa::Avx512::Load512(in); }
    static void Store512(unsigned char* out, __m512i block) { isa::Avx512::Store512(out, block); }

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
    // sequence, or with a page that stops at a loss a character it lacks)
    // is left to the steps. Reads 66 bytes at `in`, writes 64.
    template <bool kStopAtLoss>
    static bool FromUtf8Chunk(const unsigned char*& in, unsigned char*& out, const Page& page)
    {
        const unsigned char* const rowOf = page.m_rowOf;
        const unsigned char* const rows = page.m_rows[0];
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
        // Every continuation byte before the cut is one its lead asks for, and
        // every one those leads ask for is before the cut: a lead just before
        // it whose continuation would be the cut lead is invalid, not cut.
        const uint64_t wanted = (lead2 & inside) << 1 | (lead3 & inside) << 1 | (lead3 & inside) << 2;
        if ((follow & inside) != wanted || ((e0 & below) | (ed & ~below)) & leads) {
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
        if (kStopAtLoss && HasDefaultByte(found, count)) {
            return false;
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
};
#endif

// The page's bytes to UTF-8: the chunks' ASCII runs copied, a step at every
// byte from 0x80 up.
// `context` is the page (a Page): one kernel serves every page.
template <typename V>
uint32_t ToUtf8(const void* context, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                uint32_t capacity)
{
    const Page& page = *static_cast<const Page*>(context);
    const auto step = [&page](const unsigned char*& in, unsigned char*& out) {
        const unsigned char* const utf8 = page.m_utf8[*in++];
        std::memcpy(out, utf8, 4);
        out += utf8[3];
    };
    const auto steps = [&step](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kMaxUtf8Length>(at, to, left, room, V::High64, step);
    };
    const auto chunks = [&page](const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit) {
        FastPath<V>::ToUtf8Chunks(in, end, out, limit, page.m_planes);
    };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, chunks, steps);
}

// The steps of the chunk at `in`: its ASCII runs copied, a step at each
// byte from 0x80 up; a step reads at most three bytes past the chunk.
// Returns false where a step stopped (kStopAtLoss); steps that do not stop
// set `wroteDefault` where they wrote the default byte.
template <typename V, bool kStopAtLoss>
GLYPHMILL_INLINE bool ChunkSteps(const Page& page, const unsigned char*& in, unsigned char*& out, bool& wroteDefault)
{
    using bytescan::kChunk;
    const unsigned char* const chunk = in;
    uint64_t high = V::High64(chunk);
    while (high != 0) {
        const unsigned char* const next = chunk + bytescan::LowestBit64(high);
        V::CopyRun(out, in, next - in);
        out += next - in;
        in = next;
        if (!DecodeStep<kStopAtLoss>(page, in, chunk + 2 * kChunk, out)) {
            return false;
        }
        wroteDefault |= out[-1] == codepages::tables::kDefaultByte;
        const ptrdiff_t done = in - chunk;
        high = done >= kChunk ? 0 : high & (~uint64_t{0} << done);
    }
    if (in < chunk + kChunk) {
        V::CopyRun(out, in, chunk + kChunk - in);
        out += chunk + kChunk - in;
        in = chunk + kChunk;
    }
    return true;
}

// UTF-8 to the page's bytes. A step consumes at least as many bytes as it
// writes, so the output never outgrows the input.
template <typename V, bool kStopAtLoss>
uint32_t FromUtf8Until(const Page& page, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                       uint32_t capacity)
{
    using bytescan::kChunk;
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = bytescan::OutputLimit(output, capacity);
    // Whole chunks while a chunk and its run copies fit: a step reads at most
    // three bytes past the chunk, so the steps are told the input ends a
    // chunk after it, a bound that spares them a test. Where the conversion
    // stops at a loss, a chunk is first converted by the steps that do not
    // stop, whose loads no test waits on, and only a chunk where they wrote
    // the default byte again by the steps that stop.
    while (end - in >= 2 * kChunk && limit - out >= 3 * kChunk) {
        if (FastPath<V>::template FromUtf8Chunk<kStopAtLoss>(in, out, page)) {
            continue;
        }
        const unsigned char* const chunk = in;
        unsigned char* const written = out;
        bool wroteDefault = false;
        ChunkSteps<V, false>(page, in, out, wroteDefault);
        if (!kStopAtLoss || !wroteDefault) {
            continue;
        }
        in = chunk;
        out = written;
        if (!ChunkSteps<V, true>(page, in, out, wroteDefault)) {
            return bytescan::Finish(cursor, remaining, in, output, out);
        }
    }
    while (in < end && out < limit) {
        if (*in < 0x80) {
            *out++ = *in++;
        } else if (!DecodeStep<kStopAtLoss>(page, in, end, out)) {
            break;
        }
    }
    return bytescan::Finish(cursor, remaining, in, output, out);
}

// The page (`context`, a Page) says once per call whether it stops at a
// loss: the steps of the others pay nothing for it.
template <typename V>
uint32_t FromUtf8(const void* context, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                  uint32_t capacity)
{
    const Page& page = *static_cast<const Page*>(context);
    return page.m_stopAtLoss ? FromUtf8Until<V, true>(page, cursor, output, remaining, capacity)
                             : FromUtf8Until<V, false>(page, cursor, output, remaining, capacity);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace utf8kernels
