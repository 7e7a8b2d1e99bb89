#pragma once

#include <cstdint>

#include "convert/convert.h"
#include "stream/outputbuffer.h"
#include "stream/textreader.h"

// How many bytes at the end of a piece that stops inside a line must wait for
// the next piece, because a match that starts there may straddle the cut.
using HoldbackFn = uint32_t (*)(const unsigned char* piece, uint32_t length);

// In-place character-set step applied to the text before it is converted.
using RecodeFn = void (*)(unsigned char* buffer, uint32_t length);

// Whether the converter would write `text` exactly as it is: such text is
// handed to the output without the converter's copy.
using UnchangedFn = bool (*)(const unsigned char* text, uint32_t length);

// The one conversion a run applies.
struct Conversion {
    RecodeFn m_recode = nullptr;        // null: no character-set step
    ConvertFn m_convert = nullptr;      // null: text is copied unchanged
    HoldbackFn m_holdback = nullptr;    // null: a cut inside a line cannot change the output
    UnchangedFn m_unchanged = nullptr;  // null: always convert
    // The converter only drops CR: a reader that drops every CR as it reads
    // (CTextReader::DropsEveryCR) leaves it nothing to do, and is skipped.
    bool m_dropCRWhileReading = false;
};

enum class DriveResult { Done, ReadFailed, WriteFailed };

// Streams the whole input through the conversion into the output. The output
// is flushed before every wait for more input and at the end, so a line that
// has been read leaves the tool before it blocks again.
DriveResult ConvertText(const Conversion& conversion, CTextReader& reader, COutputBuffer& output);
