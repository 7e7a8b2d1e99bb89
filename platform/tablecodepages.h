#pragma once

#include <cstdint>

#include "convert/codepages.h"

// The code-page conversions through the compiled-in tables, shared by every
// host: POSIX hosts always use them, Windows when a pair was chosen in place
// of its own. Internal to the host layer.
namespace platform::tables {

void MapOemToAnsi(codepages::Pair pair, unsigned char* buffer, uint32_t length);
void MapAnsiToOem(codepages::Pair pair, unsigned char* buffer, uint32_t length);

// -a and -a- of the 8-bit pair under GLYPHMILL_UNMAPPED=fail: converters
// that stop in front of the first byte without an exact counterpart in the
// target page of the chosen pair.
uint32_t OemToAnsiUntilLoss(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity);
uint32_t AnsiToOemUntilLoss(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity);

// The pair UseCodePages chose, or null.
const codepages::Pair* ChosenPair();

}  // namespace platform::tables
