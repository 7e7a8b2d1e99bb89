#pragma once

// The byte kernels of every converter, once per instruction-set level. The
// public converters call the table of the active level (see simd.h). Each
// level's table is built in a translation unit of its own, compiled for that
// instruction set. Internal to the converters library.

#include <cstdint>

#include "convert/convert.h"
#include "convert/textmode.h"

namespace utf8kernels {
struct Page;
}

namespace kernels {

// A converter of one code page's text (utf8_kernels.h).
using PageConvertFn = uint32_t (*)(const utf8kernels::Page& page, const unsigned char** cursor, unsigned char* output,
                                   uint32_t* remaining, uint32_t capacity);

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

extern const Table kPortable;
#if defined(GLYPHMILL_X86_KERNELS)
extern const Table kSse2;
extern const Table kAvx2;
extern const Table kAvx512;
#elif defined(GLYPHMILL_NEON_KERNELS)
extern const Table kNeon;
#endif

const Table& Active();

}  // namespace kernels
