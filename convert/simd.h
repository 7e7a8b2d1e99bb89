#pragma once

// The instruction sets the byte kernels are built for, and the kernels of
// each. Every level has the same output; higher levels are faster.
//
// A level is a value: kernels::ForLevel(level) is its table of kernels, which
// a job (or a worker thread) resolves once and calls without touching shared
// state. The public converters (uri.h, entities.h, ...) are a convenience
// over the level chosen at start-up: the highest this processor runs, or the
// one UseLevel chose, which a program calls once, before any thread exists.
//
// A build has its own levels, in order (cmake/Levels.cmake): portable, sse2,
// avx2, avx512 on x86-64; portable, neon on arm64; portable elsewhere. A level
// is its rank in that order; "lower" means earlier.

#include <cstdint>

#include "convert/convert.h"
#include "convert/textmode.h"

namespace simd {

enum class Level : int {
    kPortable = 0,  // plain C++: every host; the others follow in the build's order
};

// The number of levels this build has, and the one of rank `rank` (0, the
// portable level, to BuildLevelCount() - 1, the highest).
int BuildLevelCount();
Level BuildLevel(int rank);

// Whether this build has `level`.
bool HasLevel(Level level);

// The highest level this build has.
Level CompiledLevel();

// The highest level this build has and this processor runs.
Level SupportedLevel();

// The level chosen at start-up: the supported one unless UseLevel lowered it.
Level ChosenLevel();

// Chooses `level` for the public converters, or the supported level when that
// is lower (or when this build lacks `level`); returns the level chosen. Call
// it once, at start-up, before any thread exists.
Level UseLevel(Level level);

const char* LevelName(Level level);

// The level of this build named `name` ("portable", "sse2", "avx2", "avx512"
// on x86-64, "portable", "neon" on arm64); false for any other text,
// including the name of a level this build lacks.
bool ParseLevel(const char* name, Level* level);

}  // namespace simd

namespace utf8kernels {
struct Page;
}

namespace kernels {

// A converter of one code page's text (the page's tables: utf8kernels::Page).
using PageConvertFn = uint32_t (*)(const utf8kernels::Page& page, const unsigned char** cursor, unsigned char* output,
                                   uint32_t* remaining, uint32_t capacity);

// The kernels of one level.
struct Table {
    ConvertFn m_toWindows;
    ConvertFn m_toMac;
    ConvertFn m_encodeHtml;
    ConvertFn m_decodeHtml;
    ConvertFn m_encodeXml;
    ConvertFn m_decodeXml;
    ConvertFn m_uriEncode;
    ConvertFn m_uriDecode;
    // Maps every byte in place through `table` (lower half the identity);
    // `pairs` maps two bytes at once, as they sit in memory.
    void (*m_mapBytes)(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length);
    // Applies the text-mode rules to [in, end), writing from `out` (out <= in:
    // the text may be translated in place). A CR LF pair becomes LF; the
    // first Ctrl-Z ends the text; a CR that is the last byte is left for the
    // caller, who knows the next byte.
    TextModeStop (*m_translateTextMode)(const unsigned char* in, const unsigned char* end, unsigned char* out);
    // The same, dropping every CR (paired or alone), none left pending.
    TextModeStop (*m_translateTextModeDroppingCR)(const unsigned char* in, const unsigned char* end,
                                                  unsigned char* out);
    // A single-byte OEM page to UTF-8 and back.
    PageConvertFn m_oemToUtf8;
    PageConvertFn m_utf8ToOem;
};

// Whether every kernel of `table` is set. A member added to Table is added
// here too: the size check below fails until it is.
constexpr bool IsComplete(const Table& table)
{
    return table.m_toWindows && table.m_toMac && table.m_encodeHtml && table.m_decodeHtml && table.m_encodeXml &&
           table.m_decodeXml && table.m_uriEncode && table.m_uriDecode && table.m_mapBytes &&
           table.m_translateTextMode && table.m_translateTextModeDroppingCR && table.m_oemToUtf8 && table.m_utf8ToOem;
}
constexpr int kTableKernelCount = 13;
static_assert(sizeof(Table) == kTableKernelCount * sizeof(ConvertFn), "IsComplete does not check every kernel");

// The kernels of `level`, which this build has (the portable ones otherwise).
// The processor is not asked: a caller runs a level only up to
// simd::SupportedLevel().
const Table& ForLevel(simd::Level level);

// The kernels of simd::ChosenLevel().
const Table& Chosen();

// `converter` (one of the public converters, which call the chosen level's
// kernel) as the kernel of `level` itself; a converter without kernels per
// level (ToUnixLineEnds) is returned as it is.
ConvertFn AtLevel(ConvertFn converter, simd::Level level);

}  // namespace kernels
