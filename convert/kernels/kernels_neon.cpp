// The kernels built for the neon level (arm64); the build compiles this file
// for that instruction set and nothing else for it.
#include "convert/kernels/kernels_table.h"

const kernels::Table kernels::kNeon = kernels::MakeTable<isa::Neon>();
