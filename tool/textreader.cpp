#include "tool/textreader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';
constexpr unsigned char kCtrlZ = 0x1A;

unsigned char* FindFirst(unsigned char* from, size_t size, unsigned char byte)
{
    return static_cast<unsigned char*>(std::memchr(from, byte, size));
}

unsigned char* FindLast(unsigned char* from, size_t size, unsigned char byte)
{
#if defined(__GLIBC__)
    return static_cast<unsigned char*>(memrchr(from, byte, size));
#else
    for (size_t i = size; i > 0; --i) {
        if (from[i - 1] == byte) {
            return from + (i - 1);
        }
    }
    return nullptr;
#endif
}

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
           std::memchr(m_buffer.data() + m_start, kLF, available) == nullptr;
}

ReadStatus CTextReader::NextPiece(ByteSpan& piece)
{
    for (;;) {
        const uint32_t available = Available();
        unsigned char* start = m_buffer.data() + m_start;
        if (unsigned char* lf = FindFirst(start, std::min(available, m_maxPiece), kLF)) {
            return Cut(static_cast<uint32_t>(lf - start) + 1, piece);
        }
        if (available >= m_maxPiece) {
            return Cut(m_maxPiece, piece);
        }
        if (m_inputEnded) {
            bool endsLine = true;
            return Finish(piece, endsLine);
        }
        Fill();
    }
}

ReadStatus CTextReader::NextRun(ByteSpan& run, bool& endsLine)
{
    for (;;) {
        const uint32_t available = Available();
        unsigned char* start = m_buffer.data() + m_start;
        if (unsigned char* lf = FindLast(start, available, kLF)) {
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
    span.data = m_buffer.data() + m_start;
    span.size = length;
    m_start += length;
    return ReadStatus::Data;
}

void CTextReader::Compact()
{
    if (m_start == 0) {
        return;
    }
    std::memmove(m_buffer.data(), m_buffer.data() + m_start, m_end - m_start);
    m_ready -= m_start;
    m_end -= m_start;
    m_start = 0;
}

bool CTextReader::Fill()
{
    Compact();
    const size_t room = std::min(m_readSize, m_buffer.size() - m_end);
    const long got = m_source.Read(m_buffer.data() + m_end, room);
    if (got <= 0) {
        if (got < 0) {
            m_error = m_source.LastError();
        }
        m_inputEnded = true;
        m_ready = m_end;  // a CR at the very end stands alone
        return false;
    }
    const size_t from = m_end;
    m_end += static_cast<size_t>(got);
    Translate(from);
    return true;
}

// Applies the text-mode rules to the bytes from m_ready on, of which those
// from `from` on are new. Bytes only ever move towards the front.
void CTextReader::Translate(size_t from)
{
    unsigned char* base = m_buffer.data();
    if (unsigned char* stop = FindFirst(base + from, m_end - from, kCtrlZ)) {
        m_end = static_cast<size_t>(stop - base);
        m_inputEnded = true;
    }
    size_t read = m_ready;
    size_t write = m_ready;
    while (read < m_end) {
        unsigned char* cr = FindFirst(base + read, m_end - read, kCR);
        const size_t runEnd = cr ? static_cast<size_t>(cr - base) : m_end;
        if (write != read) {
            std::memmove(base + write, base + read, runEnd - read);
        }
        write += runEnd - read;
        read = runEnd;
        if (!cr) {
            break;
        }
        if (read + 1 == m_end && !m_inputEnded) {
            // Whether this CR starts a CR LF pair is known only after the next read.
            base[write] = kCR;
            m_ready = write;
            m_end = write + 1;
            return;
        }
        const bool pair = read + 1 < m_end && base[read + 1] == kLF;
        if (!pair) {
            base[write++] = kCR;
        }
        ++read;
    }
    m_ready = write;
    m_end = write;
}
