// The kernels built for the avx512 level; the build compiles this file for that
// instruction set and nothing else for it.
#include "convert/kernels/kernels_table.h"

const kernels::Table kernels::kAvx512 = kernels::MakeTable<isa::Avx512>();
