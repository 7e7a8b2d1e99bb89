#pragma once

#include <cstddef>

// Where the driver's bytes come from and go to. The tool uses files (see
// platform/filestream.h); tests and fuzzers use memory with whatever read
// sizes they like.
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // Up to `size` bytes into `buffer`: the count read, 0 at the end of the
    // input, or -1 after an error (see LastError).
    virtual long Read(unsigned char* buffer, size_t size) = 0;
    virtual int LastError() const = 0;
};

class CByteSink {
public:
    virtual ~CByteSink() = default;
    // All `size` bytes, or false after an error (see LastError).
    virtual bool Write(const unsigned char* buffer, size_t size) = 0;
    virtual int LastError() const = 0;
};
