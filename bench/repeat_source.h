#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "stream/bytestream.h"

// Hands out the same text again and again, in reads of the size asked, for
// the benchmarks that read through CTextReader.
class CRepeatSource : public CByteSource {
public:
    explicit CRepeatSource(const std::string& text) : m_text(text) {}

    long Read(unsigned char* buffer, size_t size) override
    {
        const size_t count = std::min(size, m_text.size() - m_offset);
        std::memcpy(buffer, m_text.data() + m_offset, count);
        m_offset += count;
        return static_cast<long>(count);
    }
    int LastError() const override { return 0; }
    void Rewind() { m_offset = 0; }

private:
    const std::string& m_text;
    size_t m_offset = 0;
};
