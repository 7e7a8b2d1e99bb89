#pragma once

// Byte-for-byte tables of the Windows conversions between the OEM code page 437
// and the ANSI code page 1252, used on hosts that have no such conversions.
// Bytes below 0x80 map to themselves in both tables.
extern const unsigned char kOem437ToAnsi1252[256];
extern const unsigned char kAnsi1252ToOem437[256];
