#pragma once

// The text-mode reading rules as a pure function, for the reader: a CR LF
// pair becomes LF and the first Ctrl-Z ends the text, as Windows reads a
// text file.

#include "convert/kerneltable.h"

// Translates [in, end), writing from `out` (out <= in: the text may be
// translated in place). A CR that is the last byte is consumed but not
// written; the caller puts it back in front of the next bytes, which tell
// whether it starts a pair.
TextModeStop TranslateTextMode(const unsigned char* in, const unsigned char* end, unsigned char* out);

// The same rules with every CR dropped, paired or alone (the text-mode read
// and -u's conversion in one pass); no CR is ever left pending.
TextModeStop TranslateTextModeDroppingCR(const unsigned char* in, const unsigned char* end, unsigned char* out);
