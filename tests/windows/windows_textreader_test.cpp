// Our text-mode reader over a file opened in binary mode against the C
// runtime's own text mode: the tool must see the very bytes and lines that
// fopen(name, "rt") delivers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "platform/filestream.h"
#include "platform/platform.h"
#include "stream/textreader.h"
#include "tests/support/memory_streams.h"

namespace {

// A file of its own for each test, since ctest runs them side by side.
std::string FileName()
{
    return std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + ".tmp";
}

void WriteBinary(const std::string& bytes)
{
    std::FILE* file = std::fopen(FileName().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

// The lines a line reader with the tool's buffer gets from the runtime: fgets
// stops after LF or when LINE_BUF_SIZE - 1 bytes are read. A NUL byte would
// hide the rest of its line from strlen, so those inputs compare `whole` only.
struct RuntimeText {
    std::string whole;
    std::vector<std::string> lines;
};

RuntimeText ReadThroughRuntime(bool withLines)
{
    RuntimeText text;
    std::FILE* file = std::fopen(FileName().c_str(), "rt");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << FileName();
        return text;
    }
    std::vector<char> buffer(LINE_BUF_SIZE);
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        text.whole.append(buffer.data(), got);
    }
    std::rewind(file);
    while (withLines && std::fgets(buffer.data(), static_cast<int>(buffer.size()), file) != nullptr) {
        text.lines.emplace_back(buffer.data());
    }
    std::fclose(file);
    return text;
}

std::vector<std::string> ReadThroughOurReader(size_t readSize)
{
    int error = 0;
    const platform::FileHandle file = platform::OpenForReading(FileName().c_str(), &error);
    EXPECT_NE(file, platform::kNoFile) << platform::ErrorText(error);
    CFileSource source(file);
    CTextReader reader(source, readSize);
    const std::string text = JoinRuns(reader);
    EXPECT_EQ(reader.LastError(), 0);
    platform::Close(file, &error);
    // The driver converts runs; the lines a 16384-byte fgets buffer would see
    // are only a model, checked here against the runtime's own.
    return ReferencePieces(text, CTextReader::kMaxPiece);
}

std::string Joined(const std::vector<std::string>& pieces)
{
    std::string joined;
    for (const std::string& piece : pieces) {
        joined += piece;
    }
    return joined;
}

// Text whose CR LF pairs straddle every multiple of `block`: the CR is the
// last byte of one read, the LF the first of the next.
std::string CrLfAcross(size_t block, size_t total)
{
    std::string raw;
    while (raw.size() + block <= total) {
        raw += std::string(block - raw.size() % block - 1, 'c') + "\r\n";
        raw += "d";
    }
    return raw;
}

std::string LinesOf(std::initializer_list<size_t> lengths, const char* end)
{
    std::string raw;
    for (size_t length : lengths) {
        raw += std::string(length, 'L') + end;
    }
    return raw;
}

std::string RandomText(unsigned seed, size_t length, bool withNul)
{
    std::mt19937 random(seed);
    const std::string alphabet = withNul ? std::string("ab\r\n\r\n\0", 7) : "ab\r\n\r\n\xff";
    std::string raw;
    for (size_t i = 0; i < length; ++i) {
        raw += alphabet[random() % alphabet.size()];
    }
    return raw;
}

struct InputCase {
    const char* name;
    std::string raw;
};

// The read sizes our reader uses (the default among them) and those the
// runtime's buffers use, so that a pair is cut on either side.
const size_t kReadSizes[] = {1, 2, 3, 512, 4096, 4097, CTextReader::kDefaultReadSize};

TEST(WindowsTextMode, ReaderDeliversWhatTheRuntimeDelivers)
{
    const InputCase cases[] = {
        {"empty", ""},
        {"crlf and lf", "K\r\nL\nM\rN"},
        {"crlf across 512-byte reads", CrLfAcross(512, 5000)},
        {"crlf across 4096-byte reads", CrLfAcross(4096, 40000)},
        {"crlf across our default reads", CrLfAcross(CTextReader::kDefaultReadSize, 300000)},
        {"crlf across pieces", CrLfAcross(CTextReader::kMaxPiece, 70000)},
        {"lone crs", "\ra\rb\r\rc\r"},
        {"cr runs before lf", "a\r\r\nb\r\r\r\n\r"},
        {"lf cr", "\n\r\n\r"},
        {"ctrl-z in the middle", "K\nL\x1aM\r\nN\n"},
        {"ctrl-z after cr", "a\r\x1a\nb"},
        {"ctrl-z first",
         "\x1a"
         "abc"},
        {"lines around a piece, lf", LinesOf({16382, 16383, 16384, 16385, 100000}, "\n")},
        {"lines around a piece, crlf", LinesOf({16382, 16383, 16384, 16385, 100000}, "\r\n")},
        {"long last line without lf", LinesOf({5}, "\r\n") + std::string(70000, 'z')},
        {"high bytes", "\x80\xff\xe9\r\n\x7f"},
        {"random", RandomText(1, 200000, false)},
    };
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBinary(c.raw);
        const RuntimeText runtime = ReadThroughRuntime(true);
        for (size_t readSize : kReadSizes) {
            if (readSize < 16 && c.raw.size() > 20000) {
                continue;  // byte-sized reads of long inputs only take time
            }
            SCOPED_TRACE(readSize);
            const std::vector<std::string> pieces = ReadThroughOurReader(readSize);
            const std::string joined = Joined(pieces);
            EXPECT_TRUE(joined == runtime.whole) << joined.size() << " bytes, fread gave " << runtime.whole.size();
            EXPECT_TRUE(pieces == runtime.lines)
                << pieces.size() << " pieces, " << runtime.lines.size() << " lines from fgets";
        }
    }
    std::remove(FileName().c_str());
}

TEST(WindowsTextMode, NulBytesPassLikeAnyOther)
{
    const InputCase cases[] = {
        {"nul in a line", std::string("a\0b\r\nc\0\n", 8)},
        {"nul before crlf", std::string("\0\r\n\0", 4)},
        {"random with nul", RandomText(2, 100000, true)},
    };
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBinary(c.raw);
        const std::string runtime = ReadThroughRuntime(false).whole;
        for (size_t readSize : kReadSizes) {
            SCOPED_TRACE(readSize);
            const std::string joined = Joined(ReadThroughOurReader(readSize));
            EXPECT_TRUE(joined == runtime) << joined.size() << " bytes, the runtime gave " << runtime.size();
        }
    }
    std::remove(FileName().c_str());
}

}  // namespace
