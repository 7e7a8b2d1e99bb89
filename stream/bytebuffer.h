#pragma once

#include <cstddef>
#include <memory>

// A block of bytes on the heap that is never zeroed. The reader's and the
// output's buffers are large (a quarter megabyte) and a run on a small file
// touches a page or two of them; zeroing the rest, as a std::vector would,
// cost more than converting a 1 KiB file. Only bytes written are ever read.
class CByteBuffer {
public:
    explicit CByteBuffer(size_t size) : m_bytes(new unsigned char[size]), m_size(size) {}

    unsigned char* data() { return m_bytes.get(); }
    const unsigned char* data() const { return m_bytes.get(); }
    size_t size() const { return m_size; }
    unsigned char& operator[](size_t at) { return m_bytes[at]; }

    // Room for `size` bytes; what the buffer held is dropped.
    void Renew(size_t size)
    {
        m_bytes.reset(new unsigned char[size]);
        m_size = size;
    }

private:
    std::unique_ptr<unsigned char[]> m_bytes;
    size_t m_size;
};
