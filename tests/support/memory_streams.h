#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/bytestream.h"

// A source that hands out a string in reads whose sizes follow a cycle, and
// can fail with an error once the text is used up.
class CMemorySource : public CByteSource {
public:
    explicit CMemorySource(std::string text, std::vector<size_t> readSizes = {}, int errorAtEnd = 0);

    long Read(unsigned char* buffer, size_t size) override;
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

    bool Write(const unsigned char* buffer, size_t size) override;
    int LastError() const override;

    const std::string& Text() const { return m_text; }
    size_t Writes() const { return m_writes; }

private:
    size_t m_limit;
    std::string m_text;
    size_t m_writes = 0;
};

// The text-mode reading rules written the obvious way: CR LF becomes LF and the
// first Ctrl-Z ends the text.
std::string TextModeReference(const std::string& raw);

// Pieces as a line reader with a buffer of maxPiece + 1 bytes sees them: each
// ends after its first LF, after maxPiece bytes of a longer line, or at the end.
std::vector<std::string> ReferencePieces(const std::string& text, size_t maxPiece);

// Every run the reader hands out, joined, up to the end of the input or an error.
std::string JoinRuns(class CTextReader& reader);
