#pragma once

// A single-byte OEM page to UTF-8 and back, as templates over the instruction
// set (isa.h): ASCII is copied a chunk at a time, the bytes and characters
// beyond it are steps through the page's tables. Internal to the converters
// library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/codepage_tables.h"
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
// a character the page lacks.
GLYPHMILL_INLINE void DecodeStep(const Page& page, const unsigned char*& in, const unsigned char* end,
                                 unsigned char*& out)
{
    using codepages::tables::kDefaultByte;
    const LeadByte lead = kLeads.m_lead[in[0]];
    const ptrdiff_t left = end - in - 1;
    if (lead.m_follow == 0 || left == 0 || (in[1] & 0xC0) != 0x80) {
        *out++ = kDefaultByte;
        ++in;
        return;
    }
    if (in[1] < lead.m_secondLow || in[1] > lead.m_secondHigh) {
        *out++ = kDefaultByte;
        in += 2;
        return;
    }
    uint32_t character = (in[0] & (0x3Fu >> lead.m_follow)) << 6 | (in[1] & 0x3Fu);
    for (ptrdiff_t k = 2; k <= lead.m_follow; ++k) {
        if (k > left || (in[k] & 0xC0) != 0x80) {
            *out++ = kDefaultByte;
            in += k;
            return;
        }
        character = character << 6 | (in[k] & 0x3Fu);
    }
    in += lead.m_follow + 1;
    if (character > 0xFFFF) {
        character -= 0x10000;
        *out++ = ByteOf(page, 0xD800 + (character >> 10));
        *out++ = ByteOf(page, 0xDC00 + (character & 0x3FF));
        return;
    }
    *out++ = ByteOf(page, character);
}

// The page's bytes to UTF-8: the chunks' ASCII runs copied, a step at every
// byte from 0x80 up.
template <typename V>
uint32_t ToUtf8(const Page& page, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                uint32_t capacity)
{
    const auto step = [&page](const unsigned char*& in, unsigned char*& out) {
        const unsigned char* const utf8 = page.m_utf8[*in++];
        std::memcpy(out, utf8, 4);
        out += utf8[3];
    };
    const auto steps = [&step](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kMaxUtf8Length>(at, to, left, room, V::High64, step);
    };
    const auto chunks = [&page](const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit) { V::ToUtf8Chunks(in, end, out, limit, page.m_planes); };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, chunks, steps);
}

// UTF-8 to the page's bytes. A step consumes at least as many bytes as it
// writes, so the output never outgrows the input.
template <typename V>
uint32_t FromUtf8(const Page& page, const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                  uint32_t capacity)
{
    using bytescan::kChunk;
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = bytescan::OutputLimit(output, capacity);
    // Whole chunks while a chunk and its run copies fit: a step reads at most
    // three bytes past the chunk, so the steps are told the input ends a
    // chunk after it, a bound that spares them a test.
    while (end - in >= 2 * kChunk && limit - out >= 3 * kChunk) {
        if (V::FromUtf8Chunk(in, out, page.m_rowOf, page.m_rows[0])) {
            continue;
        }
        const unsigned char* const chunk = in;
        uint64_t high = V::High64(chunk);
        while (high != 0) {
            const unsigned char* const next = chunk + bytescan::LowestBit64(high);
            V::CopyRun(out, in, next - in);
            out += next - in;
            in = next;
            DecodeStep(page, in, chunk + 2 * kChunk, out);
            const ptrdiff_t done = in - chunk;
            high = done >= kChunk ? 0 : high & (~uint64_t{0} << done);
        }
        if (in < chunk + kChunk) {
            V::CopyRun(out, in, chunk + kChunk - in);
            out += chunk + kChunk - in;
            in = chunk + kChunk;
        }
    }
    while (in < end && out < limit) {
        if (*in < 0x80) {
            *out++ = *in++;
        } else {
            DecodeStep(page, in, end, out);
        }
    }
    return bytescan::Finish(cursor, remaining, in, output, out);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace utf8kernels
