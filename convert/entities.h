#pragma once

#include <cstdint>

#include "convert/convert.h"

// Converters of the ConvertFn form, over the tables of
// convert/kernels/entity_tables.h (HTML: the ISO 8859-1 characters and the
// ASCII ones; XML: its five). Encoding replaces every byte that has a row by
// its entity text; decoding replaces every whole entity text of the
// table by its byte, in one left-to-right pass whose output is never read
// back. Matching is byte for byte and case-sensitive.
uint32_t EncodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity);
uint32_t DecodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity);
uint32_t EncodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);
uint32_t DecodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);

// Whether decoding would copy `text` unchanged: it holds no '&'.
bool HasNoAmpersand(const unsigned char* text, uint32_t length);

// For a piece of a line that does not end the line: how many bytes at its end
// must be put in front of the next piece so that an entity text cut by the
// split is matched whole. Decoding the piece without them and then the rest
// gives exactly the output of decoding the whole line.
uint32_t EntityDecodeHoldback(const unsigned char* piece, uint32_t length);
