#include "stream/driver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "convert/atlevel.h"
#include "convert/bytemap.h"
#include "convert/codepages.h"
#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "tests/support/memory_streams.h"
#include "tests/support/simd_levels.h"

// The tests of the Driver fixture run once per instruction-set level.
class Driver : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(Driver);

namespace {

// Character-set steps as the POSIX host makes them for 437 and 1252, without
// the host layer.
unsigned char g_oemToAnsi[256];
unsigned char g_ansiToOem[256];

void OemToAnsi(unsigned char* buffer, uint32_t length)
{
    static const CByteMap map((codepages::FillOemToAnsi(codepages::kDefaultPair, g_oemToAnsi), g_oemToAnsi));
    map.Apply(buffer, length);
}

void AnsiToOem(unsigned char* buffer, uint32_t length)
{
    static const CByteMap map((codepages::FillAnsiToOem(codepages::kDefaultPair, g_ansiToOem), g_ansiToOem));
    map.Apply(buffer, length);
}

struct Outcome {
    DriveResult result;
    std::string output;
};

// The conversion with the kernels of `level`, the reader's included.
Outcome Drive(simd::Level level, Conversion conversion, const std::string& input,
              uint32_t maxPiece = CTextReader::kMaxPiece, std::vector<size_t> readSizes = {})
{
    CMemorySource source(input, std::move(readSizes));
    CMemorySink sink;
    CTextReader reader(source, 64, maxPiece, conversion.m_dropCRWhileReading, level);
    COutputBuffer output(sink, 2 * LINE_BUF_SIZE);
    conversion.m_convert = kernels::AtLevel(conversion.m_convert, level);
    const DriveResult result = ConvertText(conversion, reader, output);
    return {result, sink.Text()};
}

// Converts the text-mode translation in one call per line with a buffer large
// enough for any output, as if there were no pieces at all.
std::string WholeLines(const Conversion& conversion, const std::string& raw)
{
    std::string text = TextModeReference(raw);
    if (conversion.m_recode != nullptr) {
        conversion.m_recode(reinterpret_cast<unsigned char*>(text.data()), static_cast<uint32_t>(text.size()));
    }
    if (conversion.m_convert == nullptr) {
        return text;
    }
    std::vector<unsigned char> output(8 * text.size() + LINE_BUF_SIZE);
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text.data());
    uint32_t remaining = static_cast<uint32_t>(text.size());
    std::string out;
    while (remaining > 0) {
        const uint32_t written =
            conversion.m_convert(&cursor, output.data(), &remaining, static_cast<uint32_t>(output.size()));
        out.append(output.begin(), output.begin() + written);
    }
    return out;
}

struct Job {
    const char* name;
    Conversion conversion;
};

const Job kJobs[] = {
    {"copy", {}},
    {"unix", {nullptr, ToUnixLineEnds, nullptr, nullptr}},
    {"unix, unchanged runs written as they are", {nullptr, ToUnixLineEnds, nullptr, HasNoCR}},
    {"unix, every CR dropped by the reader", {nullptr, ToUnixLineEnds, nullptr, HasNoCR, true}},
    {"windows", {nullptr, ToWindowsLineEnds, nullptr}},
    {"mac", {nullptr, ToMacLineEnds, nullptr}},
    {"oem to ansi", {OemToAnsi, nullptr, nullptr}},
    {"ansi to oem", {AnsiToOem, nullptr, nullptr}},
    {"html encode", {nullptr, EncodeHtmlEntities, nullptr}},
    {"html decode", {nullptr, DecodeHtmlEntities, EntityDecodeHoldback, HasNoAmpersand}},
    {"xml encode", {nullptr, EncodeXmlEntities, nullptr}},
    {"xml decode", {nullptr, DecodeXmlEntities, EntityDecodeHoldback, nullptr}},
    {"uri encode", {nullptr, UriEncode, nullptr}},
    {"uri decode", {nullptr, UriDecode, UriDecodeHoldback, HasNoPercent}},
};

TEST_P(Driver, PieceSizeNeverChangesTheOutput)
{
    // Entity texts and escapes in a long line that every piece size cuts somewhere.
    std::string line;
    for (int i = 0; i < 12; ++i) {
        line += "ab&eacute;%41&amp;&lt%4g\xe9 \r\n&frasl;%%412&apos;";
    }
    const std::string input = line + "\n" + line + "\r\nend\x1a" + "after";
    for (const Job& job : kJobs) {
        SCOPED_TRACE(job.name);
        const std::string expected = WholeLines(job.conversion, input);
        for (uint32_t maxPiece = CTextReader::kMinPiece; maxPiece < 40; ++maxPiece) {
            const Outcome outcome = Drive(GetParam(), job.conversion, input, maxPiece, {1 + maxPiece % 5, 13});
            ASSERT_EQ(outcome.result, DriveResult::Done);
            ASSERT_EQ(outcome.output, expected) << "piece size " << maxPiece;
        }
    }
}

TEST_P(Driver, EntityStraddlingTheLongestPieceSplitIsDecoded)
{
    const Conversion decode{nullptr, DecodeHtmlEntities, EntityDecodeHoldback};
    for (size_t offset = 0; offset <= 8; ++offset) {
        const std::string input = std::string(CTextReader::kMaxPiece - offset, 'a') + "&eacute;x\n";
        const std::string expected = std::string(CTextReader::kMaxPiece - offset, 'a') + "\xe9x\n";
        EXPECT_EQ(Drive(GetParam(), decode, input).output, expected) << offset;
    }
}

TEST(DriverLoop, FlushesBeforeEveryWaitForInput)
{
    // Two reads: the first line must be written before the second read.
    CMemorySource source("one\ntw", {4, 100});
    CMemorySink sink;
    CTextReader reader(source, 64);
    COutputBuffer output(sink);
    ASSERT_EQ(ConvertText({}, reader, output), DriveResult::Done);
    EXPECT_EQ(sink.Text(), "one\ntw");
    EXPECT_EQ(sink.Writes(), 2u);
}

TEST(DriverLoop, ReportsWhichSideFailed)
{
    {
        CMemorySource source("text\n", {}, EIO);
        CMemorySink sink;
        CTextReader reader(source);
        COutputBuffer output(sink);
        EXPECT_EQ(ConvertText({}, reader, output), DriveResult::ReadFailed);
        EXPECT_EQ(sink.Text(), "text\n") << "what was read is still written";
    }
    {
        CMemorySource source(std::string(100000, 'x'));
        CMemorySink sink(1000);
        CTextReader reader(source);
        COutputBuffer output(sink, 4096);
        EXPECT_EQ(ConvertText({nullptr, ToUnixLineEnds, nullptr}, reader, output), DriveResult::WriteFailed);
    }
    {
        // The Ctrl-Z ends the text inside the read that holds the line, so the
        // only write is the last flush, and it fails.
        CMemorySource source("text\n\x1arest\n");
        CMemorySink sink(0);
        CTextReader reader(source);
        COutputBuffer output(sink);
        EXPECT_EQ(ConvertText({nullptr, ToUnixLineEnds, nullptr}, reader, output), DriveResult::WriteFailed);
        EXPECT_EQ(sink.Writes(), 1u);
    }
}

// The output buffer on its own: whatever the mix of sizes, the sink receives
// the appended bytes in the order they were appended. A small append is
// copied; a large one into an empty buffer is written straight from the
// caller's bytes, so a small one still held must go out first.
TEST(OutputBuffer, KeepsTheOrderOfAppends)
{
    constexpr size_t kSize = 8 * COutputBuffer::kDirectFraction;
    constexpr size_t kDirect = kSize / COutputBuffer::kDirectFraction;  // the smallest straight write
    struct OrderCase {
        const char* name;
        std::vector<size_t> appends;
    };
    const OrderCase cases[] = {
        {"small then large that fits", {3, kSize - 3}},
        {"small then large that does not fit", {3, kSize}},
        {"small then several buffers' worth", {1, 5 * kSize, 2}},
        {"large into the empty buffer, then small", {kDirect, 2, kDirect}},
        {"just below a straight write", {kDirect - 1, kDirect, kDirect - 1}},
        {"fills the buffer exactly", {kSize / 2, kSize / 2, 1}},
        {"many small", std::vector<size_t>(3 * kSize, 1)},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        CMemorySink sink;
        COutputBuffer output(sink, kSize);
        std::string expected;
        for (size_t i = 0; i < c.appends.size(); ++i) {
            // Each append its own letter, so that any reordering shows.
            const std::string bytes(c.appends[i], static_cast<char>('a' + i % 26));
            ASSERT_TRUE(output.Append(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
            expected += bytes;
            // What is still held is never ahead of what the sink has.
            EXPECT_EQ(sink.Text(), expected.substr(0, sink.Text().size()));
        }
        ASSERT_TRUE(output.Flush());
        EXPECT_EQ(sink.Text(), expected);
    }
}

// Reserve flushes what is held when the room asked for is not left, and
// grows the buffer only when even the empty buffer is too small.
TEST(OutputBuffer, ReserveFlushesWhatIsHeldFirst)
{
    constexpr size_t kSize = 8 * COutputBuffer::kDirectFraction;
    CMemorySink sink;
    COutputBuffer output(sink, kSize);
    const std::string held = "abc";
    ASSERT_TRUE(output.Append(reinterpret_cast<const unsigned char*>(held.data()), held.size()));
    const struct {
        size_t size;
        char fill;
    } reserves[] = {{kSize - 1, 'x'}, {1, 'y'}, {2 * kSize, 'z'}};
    std::string expected = held;
    for (const auto& r : reserves) {
        unsigned char* room = output.Reserve(r.size);
        ASSERT_NE(room, nullptr);
        std::memset(room, r.fill, r.size);
        output.Commit(r.size);
        expected += std::string(r.size, r.fill);
        EXPECT_EQ(sink.Text(), expected.substr(0, sink.Text().size()));
    }
    ASSERT_TRUE(output.Flush());
    EXPECT_EQ(sink.Text(), expected);
    EXPECT_EQ(sink.Writes(), 3u);  // "abc", then the x's and the y, then the z's
}

TEST(OutputBuffer, AppendFailsWhenTheFlushBeforeItFails)
{
    CMemorySink sink(2);
    COutputBuffer output(sink, 8 * COutputBuffer::kDirectFraction);
    const std::string small = "abc";
    const std::string large(8 * COutputBuffer::kDirectFraction, 'z');
    ASSERT_TRUE(output.Append(reinterpret_cast<const unsigned char*>(small.data()), small.size()));
    EXPECT_FALSE(output.Append(reinterpret_cast<const unsigned char*>(large.data()), large.size()));
    EXPECT_EQ(output.LastError(), ENOSPC);
    EXPECT_EQ(sink.Text(), "");
}

}  // namespace

// The message's account of a lost character: the character when its UTF-8 is
// whole and valid, else the first byte, whichever way the sequence is wrong.
TEST(DriverLoop, ALossIsNamedByItsCharacterOrItsByte)
{
    struct Case {
        std::vector<unsigned char> bytes;
        bool fromUtf8;
        const char* named;
    };
    const Case kCases[] = {
        {{0xE2, 0x86, 0x92}, true, "U+2192 has no exact counterpart in code page 437"},
        {{0xC3, 0xA9}, true, "U+00E9 has no exact counterpart in code page 437"},
        {{0xF0, 0x9F, 0x98, 0x80}, true, "U+1F600 has no exact counterpart in code page 437"},
        {{0xE2, 0x86}, true, "invalid UTF-8 (byte 0xE2)"},              // cut short
        {{0xC3, 0x41}, true, "invalid UTF-8 (byte 0xC3)"},              // no continuation
        {{0xC0, 0x80}, true, "invalid UTF-8 (byte 0xC0)"},              // overlong lead
        {{0xE0, 0x80, 0x80}, true, "invalid UTF-8 (byte 0xE0)"},        // overlong
        {{0xED, 0xA0, 0x80}, true, "invalid UTF-8 (byte 0xED)"},        // a surrogate
        {{0xF4, 0x90, 0x80, 0x80}, true, "invalid UTF-8 (byte 0xF4)"},  // past U+10FFFF
        {{0xF5, 0x80, 0x80, 0x80}, true, "invalid UTF-8 (byte 0xF5)"},
        {{0x80}, true, "invalid UTF-8 (byte 0x80)"},
        {{0xC9}, false, "byte 0xC9 has no exact counterpart in code page 437"},
    };
    for (const Case& c : kCases) {
        LossPlace place;
        place.m_line = 3;
        place.m_offset = 7;
        place.m_page = 437;
        place.m_fromUtf8 = c.fromUtf8;
        place.m_length = static_cast<uint32_t>(c.bytes.size());
        std::memcpy(place.m_bytes, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(LossText(place), std::string("line 3, byte offset 7: ") + c.named) << c.named;
    }
}
