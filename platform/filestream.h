#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "stream/bytestream.h"

// The byte source and sink of the tool: open files of the host.
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
