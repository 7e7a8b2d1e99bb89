// The kernels built for the sse2 level; the build compiles this file for that
// instruction set and nothing else for it.
#include "convert/kernels/kernels_table.h"

const kernels::Table kernels::kSse2 = kernels::MakeTable<isa::Sse2>();
