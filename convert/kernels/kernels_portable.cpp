// The kernels built for the portable level: compiled with the library's own
// flags, in its default namespace, as the converters around it are.
#include "convert/kernels/kernels_table.h"

const kernels::Table kernels::kPortable = kernels::MakeTable<isa::Portable>();
