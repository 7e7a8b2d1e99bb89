// The whole driver (reader, character-set step, converter, line count where
// a conversion may stop at a loss) on text in memory, for -a and -a- under
// each GLYPHMILL_UNMAPPED policy, so that a policy's cost over another's is
// measured as a run pays it; -u is the control.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_text.h"
#include "platform/conversions.h"
#include "platform/platform.h"
#include "repeat_source.h"
#include "stream/driver.h"

namespace {

class CDiscard : public CByteSink {
public:
    bool Write(const unsigned char*, size_t) override { return true; }
    int LastError() const override { return 0; }
};

void RunConversion(benchmark::State& state, codepages::Pair pair, codepages::Unmapped policy, char letter, bool on,
                   const std::string& text)
{
    platform::UseCodePages(pair);
    platform::UseUnmapped(policy);
    Conversion conversion;
    if (!conversions::Select(letter, on, &conversion)) {
        state.SkipWithError("no such conversion");
        return;
    }
    CDiscard sink;
    CRepeatSource source(text);
    for (auto _ : state) {
        source.Rewind();
        CTextReader reader(source);
        COutputBuffer output(sink);
        if (ConvertText(conversion, reader, output) != DriveResult::Done) {
            state.SkipWithError("the text did not convert cleanly");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

// Prose whose high bytes have their exact counterparts in 437 and 1252 alike
// (accented letters), as 437's bytes, 1252's and UTF-8.
const std::string& Accented(const char* encoding)
{
    static const std::string oem = benchtext::Prose("\x82\x81\x8e\x94\xa4\x87", 6);
    static const std::string ansi = benchtext::Prose("\xe9\xfc\xc4\xf6\xf1\xe7", 6);
    static const std::string utf8 = [] {
        std::string text;
        for (const char c : ansi) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                text += c;
            } else {  // these letters are Latin-1's, whose code is the byte
                text += static_cast<char>(0xC0 | byte >> 6);
                text += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return text;
    }();
    return encoding[0] == 'o' ? oem : encoding[0] == 'a' ? ansi : utf8;
}

constexpr codepages::Pair k8Bit{437, 1252};
constexpr codepages::Pair kUtf8{437, codepages::kUtf8};
using codepages::Unmapped;

void BM_Drive8BitToAnsi(benchmark::State& state)
{
    RunConversion(state, k8Bit, Unmapped::kWindows, 'a', true, Accented("oem"));
}
void BM_Drive8BitToAnsiFail(benchmark::State& state)
{
    RunConversion(state, k8Bit, Unmapped::kFail, 'a', true, Accented("oem"));
}
void BM_Drive8BitToOem(benchmark::State& state)
{
    RunConversion(state, k8Bit, Unmapped::kWindows, 'a', false, Accented("ansi"));
}
void BM_Drive8BitToOemFail(benchmark::State& state)
{
    RunConversion(state, k8Bit, Unmapped::kFail, 'a', false, Accented("ansi"));
}
void BM_DriveUtf8ToOem(benchmark::State& state)
{
    RunConversion(state, kUtf8, Unmapped::kWindows, 'a', false, Accented("utf8"));
}
void BM_DriveUtf8ToOemFail(benchmark::State& state)
{
    RunConversion(state, kUtf8, Unmapped::kFail, 'a', false, Accented("utf8"));
}
void BM_DriveToUnix(benchmark::State& state)
{
    RunConversion(state, k8Bit, Unmapped::kWindows, 'u', true, benchtext::Prose("", 0, "\r\n"));
}

}  // namespace

BENCHMARK(BM_Drive8BitToAnsi);
BENCHMARK(BM_Drive8BitToAnsiFail);
BENCHMARK(BM_Drive8BitToOem);
BENCHMARK(BM_Drive8BitToOemFail);
BENCHMARK(BM_DriveUtf8ToOem);
BENCHMARK(BM_DriveUtf8ToOemFail);
BENCHMARK(BM_DriveToUnix);
