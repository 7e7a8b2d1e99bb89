// The kernels built for the portable level; the build compiles this file for that
// instruction set and nothing else for it.
#include "convert/kernels/kernels_table.h"

const kernels::Table kernels::kPortable = kernels::MakeTable<isa::Portable>();
