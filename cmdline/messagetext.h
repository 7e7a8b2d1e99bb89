#pragma once

#include <cstddef>
#include <string>

// A text from outside (a file name, an environment value) as a one-line
// message shows it: printable ASCII as it is, a backslash as \\ and every
// other byte as \xHH, so that a newline or a terminal escape in it can never
// break the line or reach the terminal as a command. Past `limit` bytes of
// the text the rest is left out and "..." shows the cut, so a huge value
// cannot flood the terminal.
std::string EscapedForMessage(const char* text, std::size_t limit = static_cast<std::size_t>(-1));

// From now on (called once at start-up, before any thread), whether
// EscapedForMessage shows the characters of valid UTF-8 sequences as they are:
// a terminal whose locale's character set is UTF-8 shows "café" better than
// "caf\xc3\xa9". Control characters (C0, DEL, C1), invalid and overlong
// sequences, surrogates and the backslash stay escaped.
void ShowUtf8InMessages(bool show);
