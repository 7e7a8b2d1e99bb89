#include "stream/outputbuffer.h"

#include <algorithm>
#include <cstring>

COutputBuffer::COutputBuffer(CByteSink& sink, size_t size) : m_sink(sink), m_buffer(size)
{
}

unsigned char* COutputBuffer::Reserve(size_t size)
{
    if (m_buffer.size() - m_used < size) {
        if (!Flush()) {
            return nullptr;
        }
        if (m_buffer.size() < size) {
            m_buffer.Renew(size);  // empty after the flush
        }
    }
    return m_buffer.data() + m_used;
}

bool COutputBuffer::Append(const unsigned char* data, size_t size)
{
    if (m_buffer.size() - m_used < size && !Flush()) {
        return false;
    }
    if (m_used == 0 && size >= m_buffer.size() / kDirectFraction) {
        // Large enough to gain nothing from copying.
        return m_sink.Write(data, size);
    }
    std::memcpy(m_buffer.data() + m_used, data, size);
    m_used += size;
    return true;
}

bool COutputBuffer::Flush()
{
    if (m_used == 0) {
        return true;
    }
    const size_t size = m_used;
    m_used = 0;
    return m_sink.Write(m_buffer.data(), size);
}
