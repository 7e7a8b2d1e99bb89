#pragma once

#include "stream/driver.h"

// The conversions, one per option letter: what each selects when on and when
// off. Both programs (glyphmill's options, glyphmill-files) read them, so a
// converter, its holdback and its "unchanged" scan are paired once, in
// conversions.cpp's rows, which no caller sees.
//
// It lives in platform/ because of one row: -a's character-set step is a host
// call (Windows converts with its own OemToCharBuffA/CharToOemBuffA), and only
// this layer may use both the converters and the host.
namespace conversions {

// The conversion of option `letter` given on (`-u`, `-h`) or off (`-h-`);
// false for a letter that names no conversion ('a', 'u', 'w', 'm', 'h', 'x'
// and 'i' do). -a's is chosen here, after the environment is read: with an
// OEM page chosen with UTF-8 it is that page's converters.
bool Select(char letter, bool on, Conversion* conversion);

// Whether option `letter` given on (or off) needs standard output in binary
// mode: Windows text mode would turn the LF that the conversion writes back
// into CR LF. False for a letter that names no conversion.
bool NeedsBinaryOutput(char letter, bool on);

}  // namespace conversions
