#include "platform/startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cmdline/messagetext.h"
#include "convert/codepages.h"
#include "convert/simd.h"
#include "platform/names.h"
#include "platform/platform.h"

namespace platform {

namespace {

// How much of a refused value its message shows: enough to see the mistake,
// never a screenful.
constexpr std::size_t kShownValueLimit = 64;

void Refuse(const char* messageStart, const char* variable, const std::string& accepted, const char* value)
{
    std::fprintf(stderr, "%s: %s must be %s, not '%s'.\n", messageStart, variable, accepted.c_str(),
                 EscapedForMessage(value, kShownValueLimit).c_str());
}

// "portable, sse2, avx2 or avx512" on x86-64, "portable or neon" on arm64.
std::string BuildLevelNames()
{
    std::string names;
    const int count = simd::BuildLevelCount();
    for (int rank = 0; rank < count; ++rank) {
        names += rank == 0 ? "" : rank + 1 < count ? ", " : " or ";
        names += simd::LevelName(simd::BuildLevel(rank));
    }
    return names;
}

// GLYPHMILL_SIMD lowers the instruction set the kernels use (for tests,
// benchmarks and a processor that misbehaves); it never raises it. Unset
// means the highest level; it names one of this build's levels, and any other
// value (the empty one, a level of another build's: neon on x86-64, avx2 on
// arm64) is refused with the list.
bool ApplySimdLevel(const char* messageStart)
{
    const char* name = std::getenv("GLYPHMILL_SIMD");
    if (name != nullptr) {
        simd::Level level = simd::Level::kPortable;
        if (!simd::ParseLevel(name, &level)) {
            Refuse(messageStart, "GLYPHMILL_SIMD", BuildLevelNames(), name);
            return false;
        }
        simd::UseLevel(level);
    }
    // The level detected now, once, before any worker could ask for it.
    simd::UseLevel(simd::ChosenLevel());
    return true;
}

// GLYPHMILL_CODEPAGES=OEM:ANSI names the pair -a and -a- convert between, on
// every host, in place of the locale's (or the system's) pages: a file from
// another country converts as it would there.
bool ApplyCodePages(const char* messageStart)
{
    const char* text = std::getenv("GLYPHMILL_CODEPAGES");
    if (text != nullptr) {
        codepages::Pair pair;
        if (!codepages::ParsePair(text, &pair, LocaleOemPage())) {
            Refuse(messageStart, "GLYPHMILL_CODEPAGES", codepages::kAcceptedPairs, text);
            return false;
        }
        UseCodePages(pair);
    }
    return true;
}

// GLYPHMILL_UNMAPPED: what -a and -a- do with a character the target page
// lacks. Any policy but Windows' own needs the tables, so the locale's pages
// (on Windows, the system's) are taken through them when no pair was named.
bool ApplyUnmapped(const char* messageStart)
{
    const char* text = std::getenv("GLYPHMILL_UNMAPPED");
    if (text == nullptr) {
        return true;
    }
    codepages::Unmapped policy = codepages::Unmapped::kWindows;
    if (!codepages::ParseUnmapped(text, &policy)) {
        Refuse(messageStart, "GLYPHMILL_UNMAPPED", codepages::kAcceptedUnmapped, text);
        return false;
    }
    const bool named = std::getenv("GLYPHMILL_CODEPAGES") != nullptr;
    if (policy != codepages::Unmapped::kWindows && !named && codepages::IsKnownPair(LocalePages())) {
        UseCodePages(LocalePages());
    }
    UseUnmapped(policy);
    return true;
}

}  // namespace

bool ApplyEnvironment(const char* messageStart)
{
    // Names in messages, these included: valid UTF-8 shown as it is where
    // the locale's character set is UTF-8.
    ShowUtf8InMessages(LocaleCharsetIsUtf8());
    return ApplySimdLevel(messageStart) && ApplyCodePages(messageStart) && ApplyUnmapped(messageStart);
}

}  // namespace platform
