// The text-mode reader must cut the same pieces whatever sizes the reads
// return, never hand out a piece longer than its limit, and hand out exactly
// the text-mode translation of the input, piece by piece and run by run.
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "stream/textreader.h"
#include "tests/support/memory_streams.h"

namespace {

struct ReaderSetup {
    size_t readSize;                // what the reader asks of each read
    std::vector<size_t> readSizes;  // what the source hands out, in a cycle
    uint32_t maxPiece;
    int errorAtEnd;     // 0, or an error the source ends with
    int expectedError;  // the error the reader reports
};

ReaderSetup ChooseSetup(CFuzzChoices& choices)
{
    ReaderSetup setup;
    setup.readSize = choices.Between(1, 300);
    const uint32_t cycle = choices.Between(1, 8);
    for (uint32_t i = 0; i < cycle; ++i) {
        setup.readSizes.push_back(choices.Between(1, 70));
    }
    // Mostly tiny pieces, so that long lines are cut often; sometimes the real size.
    setup.maxPiece = choices.Between(0, 7) == 0 ? CTextReader::kMaxPiece : choices.Between(CTextReader::kMinPiece, 40);
    setup.errorAtEnd = choices.Between(0, 3) == 0 ? EIO : 0;
    setup.expectedError = setup.errorAtEnd;
    return setup;
}

// Runs as the driver takes them, putting back a few bytes of every run that
// stops inside a line, as a held-back partial escape would.
std::string JoinedRuns(CTextReader& reader, uint32_t maxPiece, CFuzzChoices& choices)
{
    std::string joined;
    ByteSpan run;
    bool endsLine = true;
    while (reader.NextRun(run, endsLine) == ReadStatus::Data) {
        FUZZ_CHECK(run.m_size > 0);
        const std::string text(reinterpret_cast<const char*>(run.m_data), run.m_size);
        uint32_t kept = 0;
        if (!endsLine) {
            FUZZ_CHECK(run.m_size >= maxPiece && text.find('\n') == std::string::npos);
            kept = choices.Between(0, CTextReader::kMinPiece - 1);
            reader.PutBack(kept);
        }
        joined += text.substr(0, text.size() - kept);
    }
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CFuzzChoices choices(data, size);
    const std::string input(reinterpret_cast<const char*>(choices.Text()), choices.TextSize());
    ReaderSetup setup = ChooseSetup(choices);
    // Reading stops at a Ctrl-Z, so an error behind it is never seen.
    if (input.find('\x1a') != std::string::npos) {
        setup.expectedError = 0;
    }
    const std::string expected = TextModeReference(input);

    CMemorySource whole(input, {}, setup.errorAtEnd);
    CTextReader oneRead(whole, input.size() + 1, setup.maxPiece);
    FUZZ_CHECK(JoinedRuns(oneRead, setup.maxPiece, choices) == expected);
    FUZZ_CHECK(oneRead.LastError() == setup.expectedError);

    CMemorySource forRuns(input, setup.readSizes, setup.errorAtEnd);
    CTextReader runReader(forRuns, setup.readSize, setup.maxPiece);
    FUZZ_CHECK(JoinedRuns(runReader, setup.maxPiece, choices) == expected);
    FUZZ_CHECK(runReader.LastError() == setup.expectedError);
    return 0;
}
