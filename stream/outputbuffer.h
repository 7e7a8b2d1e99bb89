#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/bytebuffer.h"
#include "stream/bytestream.h"

// Collects converted chunks and hands them to the sink in large writes. The
// driver decides when to flush (before it waits for more input, and at the
// end); the buffer flushes on its own only when a chunk would not fit.
class COutputBuffer {
public:
    // Four reads' worth of converted text (a read of 64 KiB may grow to 8
    // times that when encoded, but seldom does): few enough writes that the
    // system call costs nothing next to the conversion, small enough to stay
    // in the cache the converter writes through.
    static constexpr size_t kDefaultSize = 256 * 1024;
    // An append of at least this part of the buffer (32 KiB) into an empty
    // buffer is written straight from where it is: a copy would cost more
    // than the one extra write saves.
    static constexpr size_t kDirectFraction = 8;

    explicit COutputBuffer(CByteSink& sink, size_t size = kDefaultSize);

    // Room for at least `size` bytes at the returned position (flushing first
    // when needed), or null after a write error. Follow with Commit.
    unsigned char* Reserve(size_t size);
    void Commit(size_t size) { m_used += size; }

    bool Append(const unsigned char* data, size_t size);
    bool Flush();

    int LastError() const { return m_sink.LastError(); }

private:
    CByteSink& m_sink;
    CByteBuffer m_buffer;
    size_t m_used = 0;
};
