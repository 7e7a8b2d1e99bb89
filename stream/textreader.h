#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/convert.h"
#include "stream/bytebuffer.h"
#include "stream/bytestream.h"

struct ByteSpan {
    unsigned char* m_data = nullptr;
    uint32_t m_size = 0;
};

enum class ReadStatus { Data, End, Error };

// Reads a byte source in large blocks and applies the text-mode reading rules
// on every host: a CR LF pair becomes LF (also when a read splits the pair), and
// the first Ctrl-Z (0x1A) ends the input. It hands out pieces of text the way a
// line-oriented reader with a LINE_BUF_SIZE buffer would see them: a piece ends
// after its first LF, or after `maxPiece` bytes of a longer line, or at the end
// of the input. Memory is bounded by the read size and the piece size, whatever
// the input holds.
class CTextReader {
public:
    static constexpr uint32_t kMaxPiece = LINE_BUF_SIZE - 1;
    // The pipe buffer of Linux and a multiple of every file system's block:
    // a pipe delivers at most this much per read, and larger reads of files
    // gain little while the text falls out of the first-level caches.
    static constexpr size_t kDefaultReadSize = 64 * 1024;
    // Pieces shorter than this could not hold back a partial entity text and
    // still make progress.
    static constexpr uint32_t kMinPiece = 8;
    static_assert(kMinPiece > CONVERT_MAX_HOLDBACK, "a piece must make progress after any holdback");

    // With `dropEveryCR` the reader also drops every CR that the text-mode
    // rules keep (the -u conversion, fused into the read's one pass).
    explicit CTextReader(CByteSource& source, size_t readSize = kDefaultReadSize, uint32_t maxPiece = kMaxPiece,
                         bool dropEveryCR = false);

    // Whether the text handed out never holds a CR.
    bool DropsEveryCR() const { return m_dropEveryCR; }

    // The next run of whole pieces: everything buffered up to the last line
    // end, or all buffered bytes when they hold no line end but at least a
    // full piece. `endsLine` tells whether the run ends at a line end (after
    // an LF or at the end of the input) rather than inside a long line.
    // Reads only when no piece is buffered.
    ReadStatus NextRun(ByteSpan& run, bool& endsLine);

    // Whether the next call would have to read from the source first.
    bool NeedsRead() const;

    // Hands the last `count` bytes of the span just returned out again, in
    // front of the next one.
    void PutBack(uint32_t count) { m_start -= count; }

    int LastError() const { return m_error; }

private:
    uint32_t Available() const { return static_cast<uint32_t>(m_end - m_start); }
    bool Fill();
    void Compact();
    void Translate(size_t from, size_t to);
    ReadStatus Cut(uint32_t length, ByteSpan& span);
    ReadStatus Finish(ByteSpan& span, bool& endsLine);

    CByteSource& m_source;
    size_t m_readSize;
    uint32_t m_maxPiece;
    CByteBuffer m_buffer;
    size_t m_start = 0;  // first byte not yet handed out
    size_t m_end = 0;    // end of the translated text
    bool m_dropEveryCR;
    bool m_pendingCR = false;  // the last read ended in a CR that may start a CR LF pair
    bool m_inputEnded = false;
    int m_error = 0;
};
