#pragma once

#include <cstdint>

#include "convert/codepages.h"
#include "convert/convert.h"

// Converters of the ConvertFn form between a single-byte OEM page and UTF-8,
// giving the bytes Windows gives.
//
// OemToUtf8Converter(page) writes each byte as the UTF-8 of the character
// MultiByteToWideChar gives it with default flags (control bytes stay
// control characters). Utf8ToOemConverter(page) writes each character the
// page has as its byte, any other as WideCharToMultiByte's best fit for the
// page (default flags), or '?' where there is none; each invalid part of a
// sequence (a byte that cannot start one, a lead byte with the continuation
// bytes up to the first that is none or that makes the sequence overlong, a
// surrogate or greater than U+10FFFF, or a sequence the text cuts short)
// becomes one '?', as Windows reads it; a character above U+FFFF is two,
// since Windows converts each of its UTF-16 halves. Both are null for a page
// that is not a single-byte OEM page of the tables.
//
// Utf8ToOemConverter's `policy` changes what a character without an exact
// counterpart becomes: under kWindows a screen glyph the page would write as
// a control byte becomes '?'; under kReplace every such character does;
// under kFail the converter stops in front of it, or of an invalid part,
// and consumes nothing more: a call given a non-empty text and a free
// buffer that consumes nothing has met one.
ConvertFn OemToUtf8Converter(uint16_t page);
ConvertFn Utf8ToOemConverter(uint16_t page, codepages::Unmapped policy = codepages::Unmapped::kWindows);

// Whether either direction would copy `text` unchanged: it is all ASCII.
bool HasNoHighByte(const unsigned char* text, uint32_t length);

// For a piece of a line that does not end the line: the bytes of a UTF-8
// sequence cut by its end (at most three), which must be put in front of the
// next piece so that the character is converted whole.
uint32_t Utf8Holdback(const unsigned char* piece, uint32_t length);
