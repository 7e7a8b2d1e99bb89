#include <benchmark/benchmark.h>

#include <string>

#include "bench_text.h"
#include "repeat_source.h"
#include "stream/textreader.h"

namespace {

// Runs of whole lines, as the driver takes them.
void RunReader(benchmark::State& state, const std::string& text)
{
    CRepeatSource source(text);
    for (auto _ : state) {
        source.Rewind();
        CTextReader reader(source);
        ByteSpan run;
        bool endsLine = false;
        while (reader.NextRun(run, endsLine) == ReadStatus::Data) {
            benchmark::DoNotOptimize(run.m_data);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ReaderLF(benchmark::State& state)
{
    static const std::string text = benchtext::Prose();
    RunReader(state, text);
}

void BM_ReaderCRLF(benchmark::State& state)
{
    static const std::string text = benchtext::Prose("", 0, "\r\n");
    RunReader(state, text);
}

void BM_ReaderNoLineFeed(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("no line feed ");
    RunReader(state, text);
}

// Worst case: nothing but CR LF pairs.
void BM_ReaderAllCRLF(benchmark::State& state)
{
    static const std::string text = benchtext::Repeat("\r\n");
    RunReader(state, text);
}

void BM_ReaderEveryByte(benchmark::State& state)
{
    static const std::string text = benchtext::EveryByte();
    RunReader(state, text);
}

}  // namespace

BENCHMARK(BM_ReaderLF);
BENCHMARK(BM_ReaderCRLF);
BENCHMARK(BM_ReaderNoLineFeed);
BENCHMARK(BM_ReaderAllCRLF);
BENCHMARK(BM_ReaderEveryByte);
