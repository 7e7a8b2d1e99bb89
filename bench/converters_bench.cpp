#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_text.h"
#include "convert/bytemap.h"
#include "convert/convert.h"
#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "convert/utf8.h"

namespace {

// Converts the whole text in LINE_BUF_SIZE chunks, as the driver does.
template <typename Convert>
void RunConverter(benchmark::State& state, const Convert& convert, const std::string& text)
{
    std::vector<unsigned char> output(LINE_BUF_SIZE);
    for (auto _ : state) {
        const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text.data());
        uint32_t remaining = static_cast<uint32_t>(text.size());
        while (remaining > 0) {
            benchmark::DoNotOptimize(convert(&cursor, output.data(), &remaining, LINE_BUF_SIZE));
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

template <typename Convert>
std::string Encoded(const Convert& encode, const std::string& text)
{
    std::vector<unsigned char> output(LINE_BUF_SIZE);
    std::string encoded;
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text.data());
    uint32_t remaining = static_cast<uint32_t>(text.size());
    while (remaining > 0) {
        const uint32_t written = encode(&cursor, output.data(), &remaining, LINE_BUF_SIZE);
        encoded.append(reinterpret_cast<const char*>(output.data()), written);
    }
    return encoded;
}

const std::string& Plain()
{
    static const std::string text = benchtext::Prose();
    return text;
}

const std::string& Latin1()
{
    static const std::string text = benchtext::Prose(benchtext::HighLatin1() + "&<>\"'", 6);
    return text;
}

const std::string& EveryByte()
{
    static const std::string text = benchtext::EveryByte();
    return text;
}

// Line ends: plain prose, a lone CR in every line, and nothing but line ends.
void BM_ToUnix(benchmark::State& state)
{
    RunConverter(state, ToUnixLineEnds, Plain());
}
void BM_ToUnixLoneCR(benchmark::State& state)
{
    static const std::string text = benchtext::Prose("\r", 2);
    RunConverter(state, ToUnixLineEnds, text);
}
void BM_ToWindows(benchmark::State& state)
{
    RunConverter(state, ToWindowsLineEnds, Plain());
}
void BM_ToWindowsAllLF(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("\n");
    RunConverter(state, ToWindowsLineEnds, text);
}
void BM_ToWindowsEveryByte(benchmark::State& state)
{
    RunConverter(state, ToWindowsLineEnds, EveryByte());
}
void BM_ToMac(benchmark::State& state)
{
    RunConverter(state, ToMacLineEnds, Plain());
}
void BM_ToMacAllLF(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("\n");
    RunConverter(state, ToMacLineEnds, text);
}

// Entities: all plain, Latin-1 prose, everything special, every byte value.
void BM_EncodeHtmlPlain(benchmark::State& state)
{
    RunConverter(state, EncodeHtmlEntities, Plain());
}
void BM_EncodeHtmlLatin1(benchmark::State& state)
{
    RunConverter(state, EncodeHtmlEntities, Latin1());
}
void BM_EncodeHtmlAllSpecial(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat(benchtext::HighLatin1() + "&<>\"/");
    RunConverter(state, EncodeHtmlEntities, text);
}
void BM_EncodeHtmlEveryByte(benchmark::State& state)
{
    RunConverter(state, EncodeHtmlEntities, EveryByte());
}
void BM_EncodeXmlLatin1(benchmark::State& state)
{
    RunConverter(state, EncodeXmlEntities, Latin1());
}
// One byte in 70 to encode, as in the entity-dense corpus: most chunks hold
// one or two.
const std::string& XmlDense()
{
    static const std::string text = benchtext::Prose("&<>\"'", 2);
    return text;
}
void BM_EncodeXmlDense(benchmark::State& state)
{
    RunConverter(state, EncodeXmlEntities, XmlDense());
}
void BM_DecodeXmlDense(benchmark::State& state)
{
    static const std::string text = Encoded(EncodeXmlEntities, XmlDense());
    RunConverter(state, DecodeXmlEntities, text);
}
void BM_EncodeXmlAllSpecial(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("&<>\"'");
    RunConverter(state, EncodeXmlEntities, text);
}
void BM_DecodeHtmlPlain(benchmark::State& state)
{
    RunConverter(state, DecodeHtmlEntities, Plain());
}
void BM_DecodeHtmlLatin1(benchmark::State& state)
{
    static const std::string text = Encoded(EncodeHtmlEntities, Latin1());
    RunConverter(state, DecodeHtmlEntities, text);
}
void BM_DecodeHtmlAllSpecial(benchmark::State& state)
{
    static const std::string text = Encoded(EncodeHtmlEntities, benchtext::Repeat(benchtext::HighLatin1()));
    RunConverter(state, DecodeHtmlEntities, text);
}
void BM_DecodeHtmlFalseStarts(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("&amp &nosuch; &&&lt");
    RunConverter(state, DecodeHtmlEntities, text);
}
void BM_DecodeXmlLatin1(benchmark::State& state)
{
    static const std::string text = Encoded(EncodeXmlEntities, Latin1());
    RunConverter(state, DecodeXmlEntities, text);
}
void BM_DecodeHtmlEveryByte(benchmark::State& state)
{
    RunConverter(state, DecodeHtmlEntities, EveryByte());
}

// URI escapes.
void BM_UriEncodePlain(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("Unreserved-letters_and.digits0123456789~*'()!");
    RunConverter(state, UriEncode, text);
}
// One byte in 67 to escape: most chunks have one or none.
void BM_UriEncodeSparse(benchmark::State& state)
{
    static const std::string text =
        benchtext::Repeat("the-quick_brown.fox~jumps-over_the.lazy~dog-0123456789abcdefghijk/");
    RunConverter(state, UriEncode, text);
}
void BM_UriEncodeLatin1(benchmark::State& state)
{
    RunConverter(state, UriEncode, Latin1());
}
void BM_UriEncodeEveryByte(benchmark::State& state)
{
    RunConverter(state, UriEncode, EveryByte());
}
void BM_UriDecodePlain(benchmark::State& state)
{
    RunConverter(state, UriDecode, Plain());
}
void BM_UriDecodeLatin1(benchmark::State& state)
{
    static const std::string text = Encoded(UriEncode, Latin1());
    RunConverter(state, UriDecode, text);
}
void BM_UriDecodeAllEscapes(benchmark::State& state)
{
    static const std::string text = Encoded(UriEncode, EveryByte());
    RunConverter(state, UriDecode, text);
}

// A page and UTF-8: the same prose as 437's bytes, and those bytes' UTF-8
// (every 437 byte has its character, so the way back is exact: no loss
// stops the fail policy).
void BM_OemToUtf8Latin1(benchmark::State& state)
{
    RunConverter(state, OemToUtf8Converter(437), Latin1());
}
const std::string& Utf8Latin1()
{
    static const std::string text = Encoded(OemToUtf8Converter(437), Latin1());
    return text;
}
void BM_Utf8ToOemLatin1(benchmark::State& state)
{
    RunConverter(state, Utf8ToOemConverter(437), Utf8Latin1());
}
void BM_Utf8ToOemLatin1Fail(benchmark::State& state)
{
    RunConverter(state, Utf8ToOemConverter(437, codepages::Unmapped::kFail), Utf8Latin1());
}

// A table like a code page's, but mapping every high byte to a high byte:
// the step maps the same buffer again and again, and the real tables would
// soon have turned its box-drawing bytes into ASCII, which costs less.
struct HighPermutation {
    unsigned char m_table[256];
    HighPermutation()
    {
        for (unsigned b = 0; b < 256; ++b) {
            m_table[b] = static_cast<unsigned char>(b < 0x80 ? b : 0x80 | (b ^ 0x2A));
        }
    }
};

void RunByteMap(benchmark::State& state, const std::string& text)
{
    static const HighPermutation permutation;
    static const CByteMap map(permutation.m_table);
    std::string buffer = text;
    for (auto _ : state) {
        map.Apply(reinterpret_cast<unsigned char*>(buffer.data()), static_cast<uint32_t>(buffer.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
void BM_CodePagePlain(benchmark::State& state)
{
    RunByteMap(state, Plain());
}
void BM_CodePageLatin1(benchmark::State& state)
{
    RunByteMap(state, Latin1());
}
void BM_CodePageEveryByte(benchmark::State& state)
{
    RunByteMap(state, EveryByte());
}

}  // namespace

BENCHMARK(BM_ToUnix);
BENCHMARK(BM_ToUnixLoneCR);
BENCHMARK(BM_ToWindows);
BENCHMARK(BM_ToWindowsAllLF);
BENCHMARK(BM_ToWindowsEveryByte);
BENCHMARK(BM_ToMac);
BENCHMARK(BM_ToMacAllLF);
BENCHMARK(BM_EncodeHtmlPlain);
BENCHMARK(BM_EncodeHtmlLatin1);
BENCHMARK(BM_EncodeHtmlAllSpecial);
BENCHMARK(BM_EncodeHtmlEveryByte);
BENCHMARK(BM_EncodeXmlLatin1);
BENCHMARK(BM_EncodeXmlDense);
BENCHMARK(BM_EncodeXmlAllSpecial);
BENCHMARK(BM_DecodeHtmlPlain);
BENCHMARK(BM_DecodeHtmlLatin1);
BENCHMARK(BM_DecodeHtmlAllSpecial);
BENCHMARK(BM_DecodeHtmlFalseStarts);
BENCHMARK(BM_DecodeHtmlEveryByte);
BENCHMARK(BM_DecodeXmlLatin1);
BENCHMARK(BM_DecodeXmlDense);
BENCHMARK(BM_UriEncodePlain);
BENCHMARK(BM_UriEncodeSparse);
BENCHMARK(BM_UriEncodeLatin1);
BENCHMARK(BM_UriEncodeEveryByte);
BENCHMARK(BM_UriDecodePlain);
BENCHMARK(BM_UriDecodeLatin1);
BENCHMARK(BM_UriDecodeAllEscapes);
BENCHMARK(BM_OemToUtf8Latin1);
BENCHMARK(BM_Utf8ToOemLatin1);
BENCHMARK(BM_Utf8ToOemLatin1Fail);
BENCHMARK(BM_CodePagePlain);
BENCHMARK(BM_CodePageLatin1);
BENCHMARK(BM_CodePageEveryByte);
