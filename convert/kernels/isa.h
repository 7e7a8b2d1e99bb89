#pragma once

// The instruction sets the kernels are written against: one struct per set,
// all with the same static members, so that one kernel template serves every
// level. A translation unit sees the structs of the sets it is compiled for:
// Portable always, the others only under their compiler flags (the
// kernels_<level>.cpp files). Internal to the converters library.
//
// Every set provides (Portable is the model; a set inherits the one below it
// and replaces what it does better):
//
//   Traits
//     kHasWideCompare          compares 16 or more bytes in one instruction, so
//                              a test per member of a byte set beats a table
//                              lookup per byte
//     kHasTableLookup          looks a chunk up in a 256-entry table in a few
//                              instructions (Lookup64), which beats a test per
//                              member of a large byte set
//   Chunk scans: one bit per byte of a kChunk-byte chunk, byte 0 in bit 0
//     Equal64<kByte>(in)       the bytes equal to kByte
//     High64(in)               the bytes from 0x80 up
//     InRange64<kFirst, kLast>(in)  the bytes in [kFirst, kLast]
//     Lookup64(in, table)      the bytes whose table entry is non-zero
//   Moves
//     CopyRun(out, in, length) a run of at most a chunk; reads and writes up to
//                              kChunk bytes
//     Compact64(out, in, drop) a chunk without the bytes flagged in `drop`,
//                              towards the front (out <= in); returns the end
//   Fast paths: each converts whole blocks from the front while its bounds
//   allow, advances the pointers past what it did and leaves the rest to the
//   kernel's steps; Portable's do nothing
//     ToWindowsBlocks(in, end, out, limit)                   -w
//     UriEncodeChunks(in, end, out, limit, reservedBits, step) -i
//     UriDecodeChunks(in, end, out, limit)                   -i-
//     EntityEncodeChunks(in, end, out, limit, extra, texts)   -x (extra: each
//                              byte's text length less one)
//     MapHighBytes(table, at, end) -> at                     the byte map
//     ToUtf8Chunks(in, end, out, limit, planes)              -a to UTF-8
//                              (planes: the first, second and third byte of
//                              the UTF-8 of each byte from 0x80 up)
//     FromUtf8Chunk(in, out, rowOf, rows) -> bool            -a- from UTF-8: a
//                              chunk of ASCII and valid two- and three-byte
//                              sequences at once (false: the steps do it)
//   Loops, written once in Portable over the set
//     RunsAndSteps<Set>(in, out, special, step)  a chunk's runs copied, a step
//                              at each byte of `special`
//
// A new set is a header with its struct, included below, and a
// kernels_<level>.cpp (see docs/ARCHITECTURE.md, "Adding a level").

#include "convert/kernels/isa_avx2.h"
#include "convert/kernels/isa_avx512.h"
#include "convert/kernels/isa_neon.h"
#include "convert/kernels/isa_portable.h"
#include "convert/kernels/isa_sse2.h"
