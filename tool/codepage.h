#pragma once

#include <cstdint>

// Maps every byte of `buffer` through a 256-entry table whose lower half is
// the identity (true of code pages 437 and 1252), in place.
void MapHighBytes(const unsigned char table[256], unsigned char* buffer, uint32_t length);
