#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "bench_text.h"
#include "stream/textreader.h"

namespace {

// Hands out the same text again and again, in reads of the size asked.
class CRepeatSource : public CByteSource {
public:
    explicit CRepeatSource(const std::string& text) : m_text(text) {}

    long Read(unsigned char* buffer, size_t size) override
    {
        const size_t count = std::min(size, m_text.size() - m_offset);
        std::memcpy(buffer, m_text.data() + m_offset, count);
        m_offset += count;
        return static_cast<long>(count);
    }
    int LastError() const override { return 0; }
    void Rewind() { m_offset = 0; }

private:
    const std::string& m_text;
    size_t m_offset = 0;
};

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
