#include "tests/support/memory_streams.h"

#include <algorithm>
#include <cerrno>

#include "stream/textreader.h"

CMemorySource::CMemorySource(std::string text, std::vector<size_t> readSizes, int errorAtEnd)
    : m_text(std::move(text)), m_readSizes(std::move(readSizes)), m_errorAtEnd(errorAtEnd)
{
}

long CMemorySource::Read(unsigned char* buffer, size_t size)
{
    ++m_reads;
    if (m_offset == m_text.size() && m_errorAtEnd != 0) {
        return -1;
    }
    if (!m_readSizes.empty()) {
        size = std::min(size, m_readSizes[m_reads % m_readSizes.size()]);
    }
    const size_t count = std::min(size, m_text.size() - m_offset);
    std::copy_n(m_text.data() + m_offset, count, buffer);
    m_offset += count;
    return static_cast<long>(count);
}

bool CMemorySink::Write(const unsigned char* buffer, size_t size)
{
    ++m_writes;
    if (m_text.size() + size > m_limit) {
        return false;
    }
    m_text.append(reinterpret_cast<const char*>(buffer), size);
    return true;
}

int CMemorySink::LastError() const
{
    return ENOSPC;
}

std::string TextModeReference(const std::string& raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size() && raw[i] != '\x1a'; ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            continue;
        }
        out += raw[i];
    }
    return out;
}

std::vector<std::string> ReferencePieces(const std::string& text, size_t maxPiece)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        const size_t lineEnd = lf == std::string::npos ? text.size() : lf + 1;
        const size_t length = std::min(lineEnd - start, maxPiece);
        pieces.push_back(text.substr(start, length));
        start += length;
    }
    return pieces;
}

std::string JoinRuns(CTextReader& reader)
{
    std::string text;
    ByteSpan run;
    bool endsLine = false;
    while (reader.NextRun(run, endsLine) == ReadStatus::Data) {
        text.append(reinterpret_cast<const char*>(run.m_data), run.m_size);
    }
    return text;
}
