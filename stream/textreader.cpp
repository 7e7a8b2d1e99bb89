#include "stream/textreader.h"

#include <algorithm>
#include <cstring>

#include "convert/bytescan.h"

namespace {

using bytescan::kChunk;
using bytescan::kCR;
using bytescan::kCtrlZ;
using bytescan::kLF;

#if defined(GLYPHMILL_SSE2)

__m128i Special(__m128i bytes)
{
    return _mm_or_si128(bytescan::Equal<kCR>(bytes), bytescan::Equal<kCtrlZ>(bytes));
}

GLYPHMILL_INLINE bool HasSpecial(const unsigned char* in)
{
    __m128i any = Special(bytescan::Load(in));
    for (ptrdiff_t block = bytescan::kBlock; block < kChunk; block += bytescan::kBlock) {
        any = _mm_or_si128(any, Special(bytescan::Load(in + block)));
    }
    return bytescan::Bits(any) != 0;
}

GLYPHMILL_INLINE void MoveChunk(const unsigned char*& in, unsigned char*& out)
{
    // Until the first dropped CR the text stays where it was read.
    for (ptrdiff_t block = 0; block < kChunk && out != in; block += bytescan::kBlock) {
        bytescan::Store(out + block, bytescan::Load(in + block));
    }
    in += kChunk;
    out += kChunk;
}

// The block with the byte at `at` removed (the last lane is left over).
__m128i WithoutByte(__m128i bytes, unsigned at)
{
    const __m128i before = bytescan::LanesBefore(at);
    return _mm_or_si128(_mm_and_si128(before, bytes), _mm_andnot_si128(before, _mm_srli_si128(bytes, 1)));
}


// One block of 16 bytes, of which the byte after it is known: true when the
// block holds at most one CR, which starts a CR LF pair, and no Ctrl-Z, and so
// is one store; false when it must go byte by byte.
GLYPHMILL_INLINE bool MoveBlock(const unsigned char*& in, unsigned char*& out)
{
    const __m128i bytes = bytescan::Load(in);
    const unsigned cr = bytescan::Bits(bytescan::Equal<kCR>(bytes));
    const unsigned lfAfter = bytescan::Bits(bytescan::Equal<kLF>(bytescan::Load(in + 1)));
    const unsigned pair = cr & lfAfter;
    const unsigned other = (cr & ~lfAfter) | bytescan::Bits(bytescan::Equal<kCtrlZ>(bytes)) | (pair & (pair - 1));
    if (other != 0) {
        return false;
    }
    bytescan::Store(out, WithoutByte(bytes, bytescan::LowestBit(pair | 1u << bytescan::kBlock)));
    out += bytescan::kBlock - (pair != 0 ? 1 : 0);
    in += bytescan::kBlock;
    return true;
}
#endif

}  // namespace

CTextReader::CTextReader(CByteSource& source, size_t readSize, uint32_t maxPiece)
    : m_source(source),
      m_readSize(std::max<size_t>(readSize, 1)),
      m_maxPiece(std::max(maxPiece, kMinPiece)),
      // Before a read the buffer keeps less than one piece and a pending CR.
      m_buffer(m_maxPiece + m_readSize + 1)
{
}

bool CTextReader::NeedsRead() const
{
    const uint32_t available = Available();
    return !m_inputEnded && available < m_maxPiece &&
           bytescan::FindFirst(m_buffer.data() + m_start, available, kLF) == nullptr;
}

ReadStatus CTextReader::NextRun(ByteSpan& run, bool& endsLine)
{
    for (;;) {
        const uint32_t available = Available();
        const unsigned char* start = m_buffer.data() + m_start;
        if (const unsigned char* lf = bytescan::FindLast(start, available, kLF)) {
            endsLine = true;
            return Cut(static_cast<uint32_t>(lf - start) + 1, run);
        }
        if (m_inputEnded) {
            return Finish(run, endsLine);
        }
        if (available >= m_maxPiece) {
            endsLine = false;
            return Cut(available, run);
        }
        Fill();
    }
}

ReadStatus CTextReader::Finish(ByteSpan& span, bool& endsLine)
{
    endsLine = true;
    if (Available() > 0) {
        return Cut(Available(), span);
    }
    span = ByteSpan{};
    return m_error != 0 ? ReadStatus::Error : ReadStatus::End;
}

ReadStatus CTextReader::Cut(uint32_t length, ByteSpan& span)
{
    span.m_data = m_buffer.data() + m_start;
    span.m_size = length;
    m_start += length;
    return ReadStatus::Data;
}

void CTextReader::Compact()
{
    if (m_start == 0) {
        return;
    }
    std::memmove(m_buffer.data(), m_buffer.data() + m_start, m_end - m_start);
    m_end -= m_start;
    m_start = 0;
}

bool CTextReader::Fill()
{
    Compact();
    // A CR held back by the last read goes in front of the new bytes, which
    // tell whether it starts a CR LF pair.
    const size_t from = m_end;
    if (m_pendingCR) {
        m_buffer[m_end++] = kCR;
        m_pendingCR = false;
    }
    const long got = m_source.Read(m_buffer.data() + m_end, m_readSize);
    if (got <= 0) {
        if (got < 0) {
            m_error = m_source.LastError();
        }
        m_inputEnded = true;  // a CR at the very end stands alone
        return false;
    }
    Translate(from, m_end + static_cast<size_t>(got));
    return true;
}

// Applies the text-mode rules to the bytes from `from` to `to`, in place:
// bytes only move towards the front, and no store reaches a byte not yet
// loaded. One pass finds the CR and Ctrl-Z bytes and closes the gaps.
void CTextReader::Translate(size_t from, size_t to)
{
    const unsigned char* in = m_buffer.data() + from;
    const unsigned char* const end = m_buffer.data() + to;
    unsigned char* out = m_buffer.data() + from;
#if defined(GLYPHMILL_SSE2)
    // Most text has no CR at all, or one CR LF pair per line: 64-byte chunks
    // without either byte are copied at once, and blocks with one pair drop
    // its CR without a branch. A block needs the byte after it to pair a CR.
    while (end - in > kChunk && !m_inputEnded) {
        if (!HasSpecial(in)) {
            MoveChunk(in, out);
            continue;
        }
        for (ptrdiff_t block = 0; block < kChunk && !m_inputEnded; block += bytescan::kBlock) {
            if (!MoveBlock(in, out)) {
                in = TranslateBlock(in, out);
            }
        }
    }
    while (end - in > bytescan::kBlock && !m_inputEnded) {
        if (!MoveBlock(in, out)) {
            in = TranslateBlock(in, out);
        }
    }
#endif
    while (in < end && !m_inputEnded) {
        in = TranslateByte(in, end, out);
    }
    m_end = static_cast<size_t>(out - m_buffer.data());
}

#if defined(GLYPHMILL_SSE2)
// A block MoveBlock refused, byte by byte.
const unsigned char* CTextReader::TranslateBlock(const unsigned char* in, unsigned char*& out)
{
    const unsigned char* const stop = in + bytescan::kBlock;
    while (in < stop && !m_inputEnded) {
        in = TranslateByte(in, stop + 1, out);
    }
    return in;
}
#endif

// One byte by the text-mode rules; returns the next byte to look at.
const unsigned char* CTextReader::TranslateByte(const unsigned char* in, const unsigned char* end,
                                                unsigned char*& out)
{
    const unsigned char byte = *in;
    if (byte == kCtrlZ) {
        m_inputEnded = true;
        return end;
    }
    if (byte == kCR) {
        if (in + 1 == end) {
            // Whether this CR starts a CR LF pair is known only after the next read.
            m_pendingCR = true;
            return end;
        }
        if (in[1] == kLF) {
            return in + 1;
        }
    }
    *out++ = byte;
    return in + 1;
}
