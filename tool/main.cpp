#include <cstdio>
#include <cstdlib>
#include <string>

#include "cmdline/messagetext.h"
#include "convert/codepages.h"
#include "convert/simd.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "tool/tooloptions.h"

namespace {

void PrintBanner()
{
    std::fprintf(stderr, "Glyphmill - July 2003\n");
    std::fprintf(stderr, "Copyright (C) 2003 Glyphmill contributors\n");
    std::fprintf(stderr, "https://glyphmill.example.org/\n\n");
    std::fflush(stderr);
}

void PrintUsage(CToolOptions& options)
{
    std::fprintf(stderr, "%s\n", options.GetErrorText());
    std::fprintf(stderr, "Usage:\n");
    std::fprintf(stderr, "%s\n", options.GetUsageText(true));
    std::fflush(stderr);
}

// How much of a refused environment value its message shows: enough to see
// the mistake, never a screenful.
constexpr std::size_t kShownValueLimit = 64;

// GLYPHMILL_SIMD lowers the instruction set the kernels use (for tests,
// benchmarks and a processor that misbehaves); it never raises it. Unset
// means the highest level; it names one of this build's levels, and any other
// value (the empty one, a level of another build's: neon on x86-64, avx2 on
// arm64) is refused with the list.
bool ApplySimdLevelFromEnvironment()
{
    const char* name = std::getenv("GLYPHMILL_SIMD");
    if (name == nullptr) {
        return true;
    }
    simd::Level level = simd::Level::kPortable;
    if (!simd::ParseLevel(name, &level)) {
        // "portable, sse2, avx2 or avx512" on x86-64, "portable or neon" on arm64.
        std::fprintf(stderr, "Error: GLYPHMILL_SIMD must be ");
        const int count = simd::BuildLevelCount();
        for (int rank = 0; rank < count; ++rank) {
            const char* separator = rank == 0 ? "" : rank + 1 < count ? ", " : " or ";
            std::fprintf(stderr, "%s%s", separator, simd::LevelName(simd::BuildLevel(rank)));
        }
        std::fprintf(stderr, ", not '%s'.\n", EscapedForMessage(name, kShownValueLimit).c_str());
        return false;
    }
    simd::UseLevel(level);
    return true;
}

// GLYPHMILL_CODEPAGES=OEM:ANSI names the pair -a and -a- convert between, on
// every host, in place of the locale's (or the system's) pages: a file from
// another country converts as it would there.
bool ApplyCodePagesFromEnvironment()
{
    const char* text = std::getenv("GLYPHMILL_CODEPAGES");
    if (text == nullptr) {
        return true;
    }
    codepages::Pair pair;
    if (!codepages::ParsePair(text, &pair, platform::LocaleOemPage())) {
        std::fprintf(stderr, "Error: GLYPHMILL_CODEPAGES must be %s, not '%s'.\n", codepages::kAcceptedPairs,
                     EscapedForMessage(text, kShownValueLimit).c_str());
        return false;
    }
    platform::UseCodePages(pair);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before anything opens a file: a closed standard error must not become
    // the output file's number, and so receive the messages.
    platform::ReserveStandardDescriptors();
    ShowUtf8InMessages(platform::LocaleCharsetIsUtf8());
    if (!ApplySimdLevelFromEnvironment() || !ApplyCodePagesFromEnvironment()) {
        return kExitUsage;
    }
    CToolOptions options;
    const bool parsed = options.Parse(argc, argv);
    if (!parsed || options.IsHelpWanted()) {
        PrintBanner();
        PrintUsage(options);
        return parsed ? kExitSuccess : kExitUsage;
    }
    if (!options.IsQuiet()) {
        PrintBanner();
    }
    if (!options.HasConversion()) {
        PrintUsage(options);
        return kExitUsage;
    }
    return RunJob(options.GetJobSettings());
}
