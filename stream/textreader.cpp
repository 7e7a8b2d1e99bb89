#include "stream/textreader.h"

#include <algorithm>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/textmode.h"

using bytescan::kCR;
using bytescan::kLF;

CTextReader::CTextReader(CByteSource& source, size_t readSize, uint32_t maxPiece, bool dropEveryCR, simd::Level level)
    : m_source(source),
      m_readSize(std::max<size_t>(readSize, 1)),
      m_maxPiece(std::max(maxPiece, kMinPiece)),
      // Before a read the buffer keeps less than one piece and a pending CR.
      m_buffer(m_maxPiece + m_readSize + 1),
      m_dropEveryCR(dropEveryCR),
      m_translate(dropEveryCR ? kernels::ForLevel(level).m_translateTextModeDroppingCR
                              : kernels::ForLevel(level).m_translateTextMode)
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

// Applies the text-mode rules to the bytes from `from` to `to`, in place.
void CTextReader::Translate(size_t from, size_t to)
{
    unsigned char* const text = m_buffer.data();
    const TextModeStop stop = m_translate(text + from, text + to, text + from);
    m_inputEnded = m_inputEnded || stop.m_ctrlZ;
    m_pendingCR = stop.m_pendingCR;
    m_end = static_cast<size_t>(stop.m_out - text);
}
