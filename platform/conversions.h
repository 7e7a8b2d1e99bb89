#pragma once

#include "stream/driver.h"

// The conversions, one row per option letter: what each selects when on and
// when off. Both programs (glyphmill's options, glyphmill-files) read it, so a
// converter, its holdback and its "unchanged" scan are paired once, here.
//
// It lives in platform/ because of one row: -a's character-set step is a host
// call (Windows converts with its own OemToCharBuffA/CharToOemBuffA), and only
// this layer may use both the converters and the host.
namespace conversions {

struct Row {
    char m_letter;  // 'a', 'u', 'w', 'm', 'h', 'x', 'i'
    Conversion m_whenOn;
    Conversion m_whenOff;
    // Windows text mode on standard output would turn the LF that the
    // conversion writes back into CR LF.
    bool m_binaryOutputWhenOn;
};

// The row of option letter `letter`, or null for a letter that names no
// conversion.
const Row* Find(char letter);

// The conversion of option `letter` given on (`-u`, `-h`) or off (`-h-`);
// false for a letter that names no conversion. Take -a's from here, not from
// its row: with an OEM page chosen with UTF-8 it is that page's converters.
bool Select(char letter, bool on, Conversion* conversion);

}  // namespace conversions
