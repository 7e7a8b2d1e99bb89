#pragma once

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "tool/stream.h"

// A source that hands out a string in reads whose sizes follow a cycle, and
// can fail with an error once the text is used up.
class CMemorySource : public CByteSource {
public:
    explicit CMemorySource(std::string text, std::vector<size_t> readSizes = {}, int errorAtEnd = 0)
        : m_text(std::move(text)), m_readSizes(std::move(readSizes)), m_errorAtEnd(errorAtEnd)
    {
    }

    long Read(unsigned char* buffer, size_t size) override
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
    int LastError() const override { return m_errorAtEnd; }
    size_t Reads() const { return m_reads; }

private:
    std::string m_text;
    std::vector<size_t> m_readSizes;
    int m_errorAtEnd;
    size_t m_offset = 0;
    size_t m_reads = 0;
};

// A sink that keeps what it is given and can refuse writes beyond a limit.
class CMemorySink : public CByteSink {
public:
    explicit CMemorySink(size_t limit = std::string::npos) : m_limit(limit) {}

    bool Write(const unsigned char* buffer, size_t size) override
    {
        ++m_writes;
        if (m_text.size() + size > m_limit) {
            return false;
        }
        m_text.append(reinterpret_cast<const char*>(buffer), size);
        return true;
    }
    int LastError() const override { return ENOSPC; }

    const std::string& Text() const { return m_text; }
    size_t Writes() const { return m_writes; }

private:
    size_t m_limit;
    std::string m_text;
    size_t m_writes = 0;
};

// The text-mode reading rules written the obvious way: CR LF becomes LF and the
// first Ctrl-Z ends the text.
inline std::string TextModeReference(const std::string& raw)
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
