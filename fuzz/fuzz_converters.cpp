// Every converter, called with random output capacities, must give the bytes
// of calls with the full LINE_BUF_SIZE buffer, stay inside each buffer, and
// end with nothing left; encoders and decoders must undo each other.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "convert/atlevel.h"
#include "convert/convert.h"
#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/simd.h"
#include "convert/uri.h"
#include "convert/utf8.h"
#include "fuzz/fuzz_check.h"

namespace {

// Vectors built from a range hold exactly their bytes in one heap block, so
// AddressSanitizer sees a read past the remaining count.
using Bytes = std::vector<unsigned char>;

struct ConverterRow {
    const char* name;
    ConvertFn convert;
    // The smallest capacity with which a call can always make progress.
    uint32_t minCapacity;
};

constexpr uint32_t kEntityMin = CONVERT_HEADROOM + 8;  // the longest entity text
constexpr uint32_t kUriMin = CONVERT_HEADROOM + 3;     // a percent escape
constexpr uint32_t kLineEndMin = 2;                    // an LF may become CR LF
constexpr uint32_t kUtf8Min = CONVERT_HEADROOM + 1;    // a step starts below the headroom

const ConverterRow kConverters[] = {
    {"unix", ToUnixLineEnds, kLineEndMin},
    {"windows", ToWindowsLineEnds, kLineEndMin},
    {"mac", ToMacLineEnds, kLineEndMin},
    {"html encode", EncodeHtmlEntities, kEntityMin},
    {"html decode", DecodeHtmlEntities, kEntityMin},
    {"xml encode", EncodeXmlEntities, kEntityMin},
    {"xml decode", DecodeXmlEntities, kEntityMin},
    {"uri encode", UriEncode, kUriMin},
    {"uri decode", UriDecode, kUriMin},
    {"dos to utf-8", OemToUtf8Converter(437), kUtf8Min},
    {"utf-8 to dos", Utf8ToOemConverter(437), kUtf8Min},
    {"utf-8 to dos, replace", Utf8ToOemConverter(437, codepages::Unmapped::kReplace), kUtf8Min},
};

// One call into an exact-size heap buffer, so that AddressSanitizer sees any
// byte written past the capacity; checks the bookkeeping of the contract.
void CallOnce(const ConverterRow& row, const unsigned char*& cursor, uint32_t& remaining, uint32_t capacity, Bytes& out)
{
    const std::unique_ptr<unsigned char[]> chunk(new unsigned char[capacity]);
    const unsigned char* const before = cursor;
    const uint32_t remainingBefore = remaining;
    const uint32_t written = row.convert(&cursor, chunk.get(), &remaining, capacity);
    FUZZ_CHECK(written <= capacity);
    FUZZ_CHECK(cursor >= before);
    FUZZ_CHECK(static_cast<uint32_t>(cursor - before) == remainingBefore - remaining);
    // Every capacity used here is one that must make progress; a call that
    // consumes nothing would loop the driver forever.
    FUZZ_CHECK(cursor > before);
    out.insert(out.end(), chunk.get(), chunk.get() + written);
}

Bytes ConvertInCalls(const ConverterRow& row, const Bytes& line, CFuzzChoices* choices)
{
    Bytes out;
    const unsigned char* cursor = line.data();
    uint32_t remaining = static_cast<uint32_t>(line.size());
    while (remaining > 0) {
        const uint32_t capacity =
            choices != nullptr ? choices->Between(row.minCapacity, row.minCapacity + 40) : LINE_BUF_SIZE;
        CallOnce(row, cursor, remaining, capacity, out);
    }
    FUZZ_CHECK(remaining == 0);
    FUZZ_CHECK(cursor == line.data() + line.size());
    return out;
}

Bytes Whole(const ConverterRow& row, const Bytes& line)
{
    return ConvertInCalls(row, line, nullptr);
}

const ConverterRow& Find(const char* name)
{
    for (const ConverterRow& row : kConverters) {
        if (std::strcmp(row.name, name) == 0) {
            return row;
        }
    }
    std::abort();
}

// The line-ending rules written the obvious way.
Bytes LineEndReference(const Bytes& line, const char* name)
{
    const bool toUnix = std::strcmp(name, "unix") == 0;
    const bool toWindows = std::strcmp(name, "windows") == 0;
    Bytes out;
    for (unsigned char c : line) {
        if (c == '\r' && (toUnix || toWindows)) {
            continue;
        }
        if (c == '\n' && toWindows) {
            out.push_back('\r');
        }
        out.push_back(c == '\n' && !toUnix && !toWindows ? '\r' : c);
    }
    return out;
}

// GLYPHMILL_UNMAPPED=fail: calls of random capacities until one consumes
// nothing; the bytes written and how far it got.
struct Stopped {
    Bytes out;
    size_t consumed = 0;
    bool operator==(const Stopped& other) const { return out == other.out && consumed == other.consumed; }
};

Stopped ConvertUntilStop(ConvertFn convert, const Bytes& line, CFuzzChoices* choices)
{
    Stopped stopped;
    const unsigned char* cursor = line.data();
    uint32_t remaining = static_cast<uint32_t>(line.size());
    while (remaining > 0) {
        const uint32_t capacity = choices != nullptr ? choices->Between(kUtf8Min, kUtf8Min + 40) : LINE_BUF_SIZE;
        const std::unique_ptr<unsigned char[]> chunk(new unsigned char[capacity]);
        const uint32_t before = remaining;
        const uint32_t written = convert(&cursor, chunk.get(), &remaining, capacity);
        FUZZ_CHECK(written <= capacity && remaining <= before);
        stopped.out.insert(stopped.out.end(), chunk.get(), chunk.get() + written);
        if (remaining == before) {
            FUZZ_CHECK(written == 0);
            break;
        }
    }
    stopped.consumed = line.size() - remaining;
    return stopped;
}

// It stops at the same place with the same bytes whatever the capacities and
// the level, and those bytes are replace's for the text before it.
void CheckStopsAlike(const Bytes& line, CFuzzChoices* choices)
{
    const ConvertFn fail = Utf8ToOemConverter(437, codepages::Unmapped::kFail);
    const Stopped whole = ConvertUntilStop(fail, line, nullptr);
    FUZZ_CHECK(ConvertUntilStop(fail, line, choices) == whole);
    FUZZ_CHECK(ConvertUntilStop(kernels::AtLevel(fail, simd::Level::kPortable), line, nullptr) == whole);
    const Bytes before(line.begin(), line.begin() + static_cast<ptrdiff_t>(whole.consumed));
    FUZZ_CHECK(Whole(Find("utf-8 to dos, replace"), before) == whole.out);
}

void CheckRoundTrip(const char* encoder, const char* decoder, const Bytes& line)
{
    FUZZ_CHECK(Whole(Find(decoder), Whole(Find(encoder), line)) == line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CFuzzChoices choices(data, size);
    const Bytes line(choices.Text(), choices.Text() + choices.TextSize());
    for (const ConverterRow& row : kConverters) {
        FUZZ_CHECK(ConvertInCalls(row, line, &choices) == Whole(row, line));
        // Every instruction-set level gives the portable level's bytes.
        const ConverterRow portable = {row.name, kernels::AtLevel(row.convert, simd::Level::kPortable),
                                       row.minCapacity};
        FUZZ_CHECK(Whole(row, line) == Whole(portable, line));
    }
    for (const char* name : {"unix", "windows", "mac"}) {
        FUZZ_CHECK(Whole(Find(name), line) == LineEndReference(line, name));
    }
    CheckRoundTrip("html encode", "html decode", line);
    CheckRoundTrip("xml encode", "xml decode", line);
    CheckRoundTrip("uri encode", "uri decode", line);
    CheckRoundTrip("dos to utf-8", "utf-8 to dos", line);  // 437 has a character for every byte
    CheckStopsAlike(line, &choices);
    return 0;
}
