#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/convert.h"

// One row of an entity table: the byte and the entity text that stands for it
// ("&", the name, ";"). A table ends with the terminator row {0, nullptr}.
struct EntityRow {
    unsigned char m_code;
    const char* m_text;
};

constexpr size_t kHtmlEntityCount = 88;
constexpr size_t kXmlEntityCount = 5;

// The HTML 4 entities of the ISO 8859-1 characters, plus the ASCII ones;
// "&frasl;" stands for the ASCII solidus.
extern const EntityRow HtmlEntityTable[kHtmlEntityCount + 1];

// The five entities every XML parser knows.
extern const EntityRow XmlEntityTable[kXmlEntityCount + 1];

// Converters of the ConvertFn form. Encoding replaces every byte that has a
// row by its entity text; decoding replaces every whole entity text of the
// table by its byte, in one left-to-right pass whose output is never read
// back. Matching is byte for byte and case-sensitive.
uint32_t EncodeHtmlEntities(const unsigned char** cursor, unsigned char* output,
                            uint32_t* remaining, uint32_t capacity);
uint32_t DecodeHtmlEntities(const unsigned char** cursor, unsigned char* output,
                            uint32_t* remaining, uint32_t capacity);
uint32_t EncodeXmlEntities(const unsigned char** cursor, unsigned char* output,
                           uint32_t* remaining, uint32_t capacity);
uint32_t DecodeXmlEntities(const unsigned char** cursor, unsigned char* output,
                           uint32_t* remaining, uint32_t capacity);

// For a piece of a line that does not end the line: how many bytes at its end
// must be put in front of the next piece so that an entity text cut by the
// split is matched whole. Decoding the piece without them and then the rest
// gives exactly the output of decoding the whole line.
uint32_t EntityDecodeHoldback(const unsigned char* piece, uint32_t length);
