#pragma once

// The text-mode reading rules as a pure function, for the reader: a CR LF
// pair becomes LF and the first Ctrl-Z ends the text, as Windows reads a
// text file.

// Where a pass of the text-mode rules stopped.
struct TextModeStop {
    const unsigned char* m_in;  // the first byte not consumed
    unsigned char* m_out;       // the end of the translated text
    bool m_ctrlZ;               // a Ctrl-Z ended the text (it and what follows are dropped)
    bool m_pendingCR;           // a CR was the last byte: whether it pairs with an LF is not known yet
};

// Translates [in, end), writing from `out` (out <= in: the text may be
// translated in place). A CR that is the last byte is consumed but not
// written; the caller puts it back in front of the next bytes, which tell
// whether it starts a pair.
TextModeStop TranslateTextMode(const unsigned char* in, const unsigned char* end, unsigned char* out);

// The same rules with every CR dropped, paired or alone (the text-mode read
// and -u's conversion in one pass); no CR is ever left pending.
TextModeStop TranslateTextModeDroppingCR(const unsigned char* in, const unsigned char* end, unsigned char* out);
