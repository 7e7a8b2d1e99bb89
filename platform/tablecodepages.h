#pragma once

#include <cstdint>

#include "convert/codepages.h"

// The code-page conversions through the compiled-in tables, shared by every
// host: POSIX hosts always use them, Windows when a pair was chosen in place
// of its own. Internal to the host layer.
namespace platform::tables {

void MapOemToAnsi(codepages::Pair pair, unsigned char* buffer, uint32_t length);
void MapAnsiToOem(codepages::Pair pair, unsigned char* buffer, uint32_t length);

// The pair UseCodePages chose, or null.
const codepages::Pair* ChosenPair();

}  // namespace platform::tables
