#pragma once

#include <cstdint>
#include <string>

#include "convert/convert.h"
#include "stream/outputbuffer.h"
#include "stream/textreader.h"

// How many bytes at the end of a piece that stops inside a line must wait for
// the next piece, because a match that starts there may straddle the cut.
using HoldbackFn = uint32_t (*)(const unsigned char* piece, uint32_t length);

// In-place character-set step applied to the text before it is converted.
using RecodeFn = void (*)(unsigned char* buffer, uint32_t length);

// The same, stopping in front of the first character without an exact
// counterpart in the target page: returns how many bytes it recoded, and
// leaves that byte and those after it as they were. It adds the number of
// LFs among the bytes it recoded to `*lineFeeds`, which it counts as it goes
// for less than a second pass over them costs.
using RecodeUntilLossFn = uint32_t (*)(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds);

// Whether the converter would write `text` exactly as it is: such text is
// handed to the output without the converter's copy.
using UnchangedFn = bool (*)(const unsigned char* text, uint32_t length);

// The one conversion a run applies.
struct Conversion {
    RecodeFn m_recode = nullptr;        // null: no character-set step
    Converter m_convert;                // none: text is copied unchanged
    HoldbackFn m_holdback = nullptr;    // null: a cut inside a line cannot change the output
    UnchangedFn m_unchanged = nullptr;  // null: always convert
    // The converter only drops CR: a reader that drops every CR as it reads
    // (CTextReader::DropsEveryCR) leaves it nothing to do, and is skipped.
    bool m_dropCRWhileReading = false;
    // Not 0: the character-set step or the converter stops in front of the
    // first character that code page m_lossPage has no exact counterpart for
    // (GLYPHMILL_UNMAPPED=fail), and consumes nothing more; the run stops
    // there. m_lossFromUtf8: the text is UTF-8, whose invalid parts stop it
    // too.
    uint16_t m_lossPage = 0;
    bool m_lossFromUtf8 = false;
    // GLYPHMILL_UNMAPPED=fail's character-set step, in place of m_recode.
    RecodeUntilLossFn m_recodeUntilLoss = nullptr;
};

// Where a conversion stopped at a loss: the line (from 1), the offset of the
// first byte not converted within that line (from 0: CR LF read as LF changes
// neither), and that byte with up to three after it.
struct LossPlace {
    uint64_t m_line = 1;
    uint64_t m_offset = 0;
    unsigned char m_bytes[4] = {};
    uint32_t m_length = 0;
    uint16_t m_page = 0;
    bool m_fromUtf8 = false;
};

// "line 1, byte offset 2: U+2192 has no exact counterpart in code page 437",
// or "...: invalid UTF-8 (byte 0xC3)", or "...: byte 0x9B has no ...".
std::string LossText(const LossPlace& place);

enum class DriveResult { Done, ReadFailed, WriteFailed, Lost };

// Streams the whole input through the conversion into the output. The output
// is flushed before every wait for more input and at the end, so a line that
// has been read leaves the tool before it blocks again. Lost: the conversion
// stopped at a loss, after writing the text before it; `place` (if not null)
// tells where.
DriveResult ConvertText(const Conversion& conversion, CTextReader& reader, COutputBuffer& output,
                        LossPlace* place = nullptr);
