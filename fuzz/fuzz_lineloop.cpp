// The streaming loop, with tiny pieces and random read sizes, must produce
// what converting the whole translated text at once produces, for every
// conversion the tool offers. The conversion is the one the tool's own option
// set selects for the option text.
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/codepages.h"
#include "fuzz/fuzz_check.h"
#include "platform/platform.h"
#include "stream/driver.h"
#include "tests/support/memory_streams.h"
#include "tool/tooloptions.h"

namespace {

// "-a utf-8": -a with 437 and UTF-8 for its pages, whose converters expand
// and hold back a character cut at a piece's end; the others with 437 and 1252.
const char* const kOptions[] = {"-u", "-w",  "-m", "-a",  "-a-", "-h",       "-h-",
                                "-x", "-x-", "-i", "-i-", "-u-", "-a utf-8", "-a- utf-8"};

Conversion ConversionFor(const char* option)
{
    CToolOptions options;
    char program[] = "glyphmill";
    std::string text = option;
    const size_t space = text.find(' ');
    platform::UseCodePages(space == std::string::npos ? codepages::kDefaultPair
                                                      : codepages::Pair{437, codepages::kUtf8});
    text = text.substr(0, space);
    char* argv[] = {program, text.data(), nullptr};
    FUZZ_CHECK(options.Parse(2, argv));
    FUZZ_CHECK(options.HasConversion());
    return options.GetJobSettings().m_conversion;
}

// The whole translated text recoded and converted in one call whose capacity
// no conversion can fill.
std::string WholeText(const Conversion& conversion, const std::string& input)
{
    std::string text = TextModeReference(input);
    std::vector<unsigned char> bytes(text.begin(), text.end());
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    if (conversion.m_recode != nullptr) {
        conversion.m_recode(bytes.data(), length);
    }
    if (conversion.m_convert == nullptr) {
        return std::string(bytes.begin(), bytes.end());
    }
    const uint32_t capacity = 8 * length + CONVERT_HEADROOM + 8;
    std::vector<unsigned char> out(capacity);
    const unsigned char* cursor = bytes.data();
    uint32_t remaining = length;
    const uint32_t written = conversion.m_convert(&cursor, out.data(), &remaining, capacity);
    FUZZ_CHECK(remaining == 0);
    return std::string(out.begin(), out.begin() + written);
}

std::string Streamed(const Conversion& conversion, const std::string& input, CFuzzChoices& choices, int errorAtEnd)
{
    std::vector<size_t> readSizes;
    const uint32_t cycle = choices.Between(1, 6);
    for (uint32_t i = 0; i < cycle; ++i) {
        readSizes.push_back(choices.Between(1, 60));
    }
    CMemorySource source(input, readSizes, errorAtEnd);
    CTextReader reader(source, choices.Between(1, 200), choices.Between(CTextReader::kMinPiece, 24));
    CMemorySink sink;
    COutputBuffer output(sink);
    const DriveResult result = ConvertText(conversion, reader, output);
    // Reading stops at a Ctrl-Z, so an error behind it is never seen.
    const bool failed = errorAtEnd != 0 && input.find('\x1a') == std::string::npos;
    FUZZ_CHECK(result == (failed ? DriveResult::ReadFailed : DriveResult::Done));
    return sink.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CFuzzChoices choices(data, size);
    const std::string input(reinterpret_cast<const char*>(choices.Text()), choices.TextSize());
    const int errorAtEnd = choices.Between(0, 3) == 0 ? EIO : 0;
    // One conversion per input lets the fuzzer steer towards each one's paths.
    const uint32_t lastOption = static_cast<uint32_t>(sizeof kOptions / sizeof kOptions[0] - 1);
    const Conversion conversion = ConversionFor(kOptions[choices.Between(0, lastOption)]);
    // Everything read before a read error still reaches the output.
    FUZZ_CHECK(Streamed(conversion, input, choices, errorAtEnd) == WholeText(conversion, input));
    return 0;
}
