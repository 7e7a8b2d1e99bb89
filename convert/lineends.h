#pragma once

#include "convert/convert.h"

// Line-ending converters of the ConvertFn form. The input has already been
// through text-mode reading, so a CR LF pair arrives as LF and a CR seen here
// stands alone.

// Drops every CR; copies every other byte. Stops when the output holds
// `capacity` bytes.
uint32_t ToUnixLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);

// Whether ToUnixLineEnds would copy `text` unchanged: it holds no CR.
bool HasNoCR(const unsigned char* text, uint32_t length);

// Writes every LF as CR LF and drops every lone CR. Stops once the output holds
// capacity - 1 bytes, since one input byte may produce two.
uint32_t ToWindowsLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);

// Writes every LF as CR and keeps lone CRs, so each line ends in CR the classic
// Macintosh way. Stops when the output holds `capacity` bytes.
uint32_t ToMacLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);
