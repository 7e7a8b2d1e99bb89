#include "stream/textreader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "tests/support/convert_test_util.h"
#include "tests/support/memory_streams.h"
#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class TextReader : public CAtEveryLevel {
protected:
    // A reader with the text-mode kernel of the test's level.
    CTextReader Reader(CByteSource& source, size_t readSize = CTextReader::kDefaultReadSize,
                       uint32_t maxPiece = CTextReader::kMaxPiece, bool dropEveryCR = false) const
    {
        return CTextReader(source, readSize, maxPiece, dropEveryCR, GetParam());
    }
};
GLYPHMILL_AT_EVERY_LEVEL(TextReader);

namespace {

std::string ReadRuns(CTextReader& reader, uint32_t maxPiece)
{
    struct Run {
        std::string text;
        bool endsLine;
    };
    std::vector<Run> runs;
    ByteSpan run;
    bool endsLine = false;
    while (reader.NextRun(run, endsLine) == ReadStatus::Data) {
        runs.push_back({std::string(reinterpret_cast<const char*>(run.m_data), run.m_size), endsLine});
    }
    std::string text;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& r = runs[i];
        // Inside a long line a run holds at least a full piece; before the end of the
        // input a line end is an LF.
        EXPECT_TRUE(r.endsLine || r.text.size() >= maxPiece) << i;
        EXPECT_TRUE(!r.endsLine || i + 1 == runs.size() || r.text.back() == '\n') << i;
        text += r.text;
    }
    return text;
}

struct TranslationCase {
    const char* name;
    std::string raw;
    std::string text;
};

const TranslationCase kTranslations[] = {
    {"empty", "", ""},
    {"crlf", "K\r\nL\nM\rN", "K\nL\nM\rN"},
    {"lone cr at end", "a\r", "a\r"},
    {"cr cr lf", "a\r\r\nb", "a\r\nb"},
    {"ctrl-z ends", "K\n\x1aL\n", "K\n"},
    {"cr before ctrl-z stays", "a\r\x1a\n", "a\r"},
    {"nul is ordinary", std::string("a\0b\r\n", 5), std::string("a\0b\n", 4)},
    {"lf cr", "\n\r", "\n\r"},
};

TEST_P(TextReader, TranslatesForEveryReadSize)
{
    for (const TranslationCase& c : kTranslations) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextModeReference(c.raw), c.text) << "reference";
        for (size_t readSize = 1; readSize <= c.raw.size() + 1; ++readSize) {
            CMemorySource source(c.raw);
            CTextReader reader = Reader(source, readSize);
            EXPECT_EQ(ReadRuns(reader, CTextReader::kMaxPiece), c.text) << "read size " << readSize;
        }
    }
}

TEST_P(TextReader, CrLfStraddlingEveryBoundaryOfOddReads)
{
    std::string raw;
    for (int i = 0; i < 50; ++i) {
        raw += std::string(static_cast<size_t>(i % 7), 'x') + "\r\n";
    }
    for (const std::vector<size_t>& sizes : std::vector<std::vector<size_t>>{{1}, {2}, {3, 1}, {5, 2, 7}}) {
        CMemorySource source(raw, sizes);
        CTextReader reader = Reader(source, 16);
        EXPECT_EQ(ReadRuns(reader, CTextReader::kMaxPiece), TextModeReference(raw));
    }
}

struct LengthCase {
    const char* name;
    size_t lineLength;  // bytes before the LF
};

const LengthCase kLengths[] = {
    {"one short of a piece", CTextReader::kMaxPiece - 2},
    {"lf is the last byte of a piece", CTextReader::kMaxPiece - 1},
    {"lf starts the second piece", CTextReader::kMaxPiece},
    {"one more", CTextReader::kMaxPiece + 1},
    {"several pieces", 3 * CTextReader::kMaxPiece + 5},
};

TEST_P(TextReader, LongLinesArriveWholeInRunsOfAtLeastAPiece)
{
    for (const LengthCase& c : kLengths) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string(c.lineLength, 'a') + "\nshort\n" + std::string(c.lineLength, 'b');
        for (size_t readSize : {size_t{4096}, size_t{65536}, size_t{7}}) {
            CMemorySource source(text);
            CTextReader reader = Reader(source, readSize);
            EXPECT_EQ(ReadRuns(reader, CTextReader::kMaxPiece), text);
        }
    }
}

TEST_P(TextReader, RunsDoNotDependOnReadSizesOrPieceSize)
{
    std::mt19937 random(7);
    const char alphabet[] = {'a', '\r', '\n', '\x1a', '\0', '&'};
    for (int round = 0; round < 200; ++round) {
        std::string raw;
        const size_t length = random() % 200;
        for (size_t i = 0; i < length; ++i) {
            // Ctrl-Z rarely, so that most inputs run to their end.
            const size_t pick = random() % (round % 5 == 0 ? 6 : 5);
            raw += alphabet[pick == 3 ? 5 : pick];
        }
        const uint32_t maxPiece = 8 + static_cast<uint32_t>(random() % 20);
        const std::string text = TextModeReference(raw);
        CMemorySource source(raw, {1 + random() % 9, 1 + random() % 3});
        CTextReader reader = Reader(source, 1 + random() % 40, maxPiece);
        EXPECT_EQ(ReadRuns(reader, maxPiece), text) << round;
    }
}

TEST_P(TextReader, StopsReadingAtCtrlZ)
{
    CMemorySource source("abc\x1a" + std::string(100000, 'x'), {8});
    CTextReader reader = Reader(source, 8);
    EXPECT_EQ(ReadRuns(reader, CTextReader::kMaxPiece), "abc");
    EXPECT_EQ(source.Reads(), 1u);
}

TEST_P(TextReader, DeliversBufferedTextBeforeReportingAnError)
{
    CMemorySource source("one\ntwo", {}, EIO);
    CTextReader reader = Reader(source);
    ByteSpan run;
    bool endsLine = false;
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(run.m_data), run.m_size), "two");
    EXPECT_EQ(reader.NextRun(run, endsLine), ReadStatus::Error);
    EXPECT_EQ(reader.LastError(), EIO);
}

TEST_P(TextReader, NeedsReadOnlyWhenNoPieceIsBuffered)
{
    CMemorySource source("ab\ncd", {5});
    CTextReader reader = Reader(source);
    EXPECT_TRUE(reader.NeedsRead());
    ByteSpan run;
    bool endsLine = false;
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    EXPECT_EQ(run.m_size, 3u);
    EXPECT_TRUE(reader.NeedsRead()) << "'cd' may still grow";
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    EXPECT_EQ(run.m_size, 2u);
    EXPECT_FALSE(reader.NeedsRead()) << "the end is known";
}

TEST_P(TextReader, PutBackHandsBytesOutAgain)
{
    CMemorySource source(std::string(20, 'x') + "&amp;" + "\n");
    CTextReader reader = Reader(source, 1000, 22);
    ByteSpan run;
    bool endsLine = true;
    // Only 22 bytes are needed for a piece, but the run takes all that is buffered.
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    EXPECT_TRUE(endsLine);
    EXPECT_EQ(run.m_size, 26u);
    reader.PutBack(6);
    ASSERT_EQ(reader.NextRun(run, endsLine), ReadStatus::Data);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(run.m_data), run.m_size), "&amp;\n");
}

}  // namespace

// The block paths of the reader against the byte-by-byte reference: every
// length up to kLongest at every alignment, so that each CR, LF and Ctrl-Z
// lands on every lane of a block, at a block's edge and in the scalar tail.
namespace {

std::string ReadAll(simd::Level level, const std::string& raw, size_t readSize, bool dropEveryCR = false)
{
    CMemorySource source(raw);
    CTextReader reader(source, readSize, CTextReader::kMaxPiece, dropEveryCR, level);
    return JoinRuns(reader);
}

std::string WithoutCR(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

struct ReaderCase {
    const char* name;
    std::string special;
    unsigned odds;
};

const ReaderCase kReaderCases[] = {
    {"crlf pairs", "\r\n", 3},                               // pairs, but also lone CRs and CR CR LF
    {"one pair a block", "\n", 20}, {"crlf text", "\r", 4},  // lone CRs only
    {"ctrl-z", "\r\n\x1a", 8},      {"dense", "\r\n\r\n\r\n\x1a", 1},
};

TEST_P(TextReader, BlockPathsTranslateLikeTheReference)
{
    for (const ReaderCase& c : kReaderCases) {
        SCOPED_TRACE(c.name);
        ForEveryLengthAndAlignment(c.special, c.odds, [](const std::string& raw) {
            std::string paired = raw;
            // Mostly real pairs: every LF after a letter gets its CR.
            for (size_t i = paired.find('\n'); i != std::string::npos; i = paired.find('\n', i + 2)) {
                paired.insert(i, "\r");
            }
            for (const std::string& text : {raw, paired}) {
                for (size_t readSize : {size_t{4096}, size_t{17}, size_t{33}}) {
                    ASSERT_EQ(ReadAll(GetParam(), text, readSize), TextModeReference(text)) << "read size " << readSize;
                    ASSERT_EQ(ReadAll(GetParam(), text, readSize, true), WithoutCR(TextModeReference(text)))
                        << "dropping every CR, read size " << readSize;
                }
            }
        });
    }
}

}  // namespace
