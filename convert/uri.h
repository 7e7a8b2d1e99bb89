#pragma once

#include <cstdint>

#include "convert/convert.h"

// Converters of the ConvertFn form for percent escapes.
//
// UriEncode copies the unreserved bytes (letters, digits, "-_.!~*'()", CR and
// LF, so that lines survive) and writes every other byte as '%' and two
// lower-case hexadecimal digits; a space becomes "%20", never "+".
uint32_t UriEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);

// UriDecode writes the byte of every '%' followed by two hexadecimal digits of
// either case. Any other '%' is not an escape and is copied like any other
// byte, so "%zz", "%4z" and a '%' at the end of the line pass unchanged. "+"
// stays "+", and a '%' that an escape produces is not decoded again.
uint32_t UriDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity);

// Whether UriDecode would copy `text` unchanged: it holds no '%'.
bool HasNoPercent(const unsigned char* text, uint32_t length);

// For a piece of a line that does not end the line: how many bytes at its end
// must be put in front of the next piece so that an escape cut by the split
// is decoded whole. Decoding the piece without them and then the rest gives
// exactly the output of decoding the whole line.
uint32_t UriDecodeHoldback(const unsigned char* piece, uint32_t length);
