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
