#pragma once

#include <cstdint>

#include "convert/codepages.h"

// The code-page conversions through the compiled-in tables, shared by every
// host: POSIX hosts always use them, Windows when a pair was chosen in place
// of its own. Internal to the host layer.
namespace platform::tables {

void MapOemToAnsi(codepages::Pair pair, unsigned char* buffer, uint32_t length);
void MapAnsiToOem(codepages::Pair pair, unsigned char* buffer, uint32_t length);

// -a and -a- of the 8-bit pair under GLYPHMILL_UNMAPPED=fail: in place, up
// to the first byte without an exact counterpart in the target page of the
// chosen pair (which must be chosen). They return how many bytes they
// converted, and leave that byte and those after it as they were; they add
// the number of LFs among the bytes they converted to `*lineFeeds`.
uint32_t OemToAnsiUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds);
uint32_t AnsiToOemUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds);

// The pair UseCodePages chose, or null.
const codepages::Pair* ChosenPair();

}  // namespace platform::tables
