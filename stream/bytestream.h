#pragma once

#include <cstddef>

#include "tool/platform.h"

// Where the driver's bytes come from and go to. The tool uses files; tests and
// fuzzers use memory with whatever read sizes they like.
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

class CFileSource : public CByteSource {
public:
    explicit CFileSource(platform::FileHandle file) : m_file(file) {}
    long Read(unsigned char* buffer, size_t size) override
    {
        return platform::ReadSome(m_file, buffer, size, &m_error);
    }
    int LastError() const override { return m_error; }

private:
    platform::FileHandle m_file;
    int m_error = 0;
};

class CFileSink : public CByteSink {
public:
    explicit CFileSink(platform::FileHandle file) : m_file(file) {}
    bool Write(const unsigned char* buffer, size_t size) override
    {
        return platform::WriteAll(m_file, buffer, size, &m_error);
    }
    int LastError() const override { return m_error; }

private:
    platform::FileHandle m_file;
    int m_error = 0;
};
