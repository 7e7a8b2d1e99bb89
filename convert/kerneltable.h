#pragma once

// What the kernels (convert/kernels/) and the code that calls them share: a
// level, the table of one level's kernels and what a text-mode pass returns.
// It sits below both: the kernels fill the table, and the converters above
// them (simd.h, the public converters, the reader) read it; it includes
// nothing but the converter contract.

#include <cstdint>

#include "convert/convert.h"

namespace simd {

// A level is its rank in the build's order (simd.h).
enum class Level : int {
    kPortable = 0,  // plain C++: every host; the others follow in the build's order
};

}  // namespace simd

// Where a pass of the text-mode rules stopped.
struct TextModeStop {
    const unsigned char* m_in;  // the first byte not consumed
    unsigned char* m_out;       // the end of the translated text
    bool m_ctrlZ;               // a Ctrl-Z ended the text (it and what follows are dropped)
    bool m_pendingCR;           // a CR was the last byte: whether it pairs with an LF is not known yet
};

namespace kernels {

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
    // The number of LFs in [text, text + length).
    uint64_t (*m_countLineFeeds)(const unsigned char* text, uint32_t length);
    // Maps every byte in place through `table` (lower half the identity);
    // `pairs` maps two bytes at once, as they sit in memory.
    void (*m_mapBytes)(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length);
    // The same, up to the first byte from 0x80 up that `table` maps below
    // 0x80 (a loss, where the table gives the default byte for each byte
    // without an exact counterpart): returns how many bytes it mapped, and
    // leaves that byte and those after it as they were. It adds the number
    // of LFs among the bytes it mapped to `*lineFeeds`.
    uint32_t (*m_mapBytesUntilLoss)(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer,
                                    uint32_t length, uint64_t* lineFeeds);
    // Applies the text-mode rules to [in, end), writing from `out` (out <= in:
    // the text may be translated in place). A CR LF pair becomes LF; the
    // first Ctrl-Z ends the text; a CR that is the last byte is left for the
    // caller, who knows the next byte.
    TextModeStop (*m_translateTextMode)(const unsigned char* in, const unsigned char* end, unsigned char* out);
    // The same, dropping every CR (paired or alone), none left pending.
    TextModeStop (*m_translateTextModeDroppingCR)(const unsigned char* in, const unsigned char* end,
                                                  unsigned char* out);
    // A single-byte OEM page to UTF-8 and back; the context is the page's
    // tables (a utf8kernels::Page, which utf8.h's converters pass).
    ContextConvertFn m_oemToUtf8;
    ContextConvertFn m_utf8ToOem;
};

}  // namespace kernels
