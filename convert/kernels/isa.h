#pragma once

// The instruction sets the kernels are written against: one struct per set,
// each with the primitives isa_conformance.h lists (chunk scans, run copies,
// compaction, table lookups), so that one kernel template serves every level.
// A translation unit sees the structs of the sets it is compiled for:
// Portable always, the others only under their compiler flags (the
// kernels_<level>.cpp files), each defining GLYPHMILL_SET_<SET> where it
// exists. The converters' own fast paths are not here: each converter's
// kernel file holds a FastPath<V> template with a no-op default and a
// specialisation for each set that does better (see docs/ARCHITECTURE.md).
// Internal to the converters library.

// The header of every level of the registry (generated from
// cmake/Levels.cmake).
#include "convert/kernels/level_sets.inc"
