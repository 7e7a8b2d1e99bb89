#pragma once

// The table of one instruction set's kernels: included once by each
// kernels_<level>.cpp, which is compiled for that set.

#include "convert/kernels/bytemap_kernels.h"
#include "convert/kernels/entity_kernels.h"
#include "convert/kernels/kernels.h"
#include "convert/kernels/lineends_kernels.h"
#include "convert/kernels/textmode_kernels.h"
#include "convert/kernels/uri_kernels.h"
#include "convert/kernels/utf8_kernels.h"

namespace kernels {
inline namespace GLYPHMILL_ISA_NS {

template <typename V>
constexpr Table MakeTable()
{
    using entitykernels::kHtmlIndex;
    using entitykernels::kXmlIndex;
    return Table{
        lineendkernels::ToWindows<V>,
        lineendkernels::ToMac<V>,
        entitykernels::EncodeEntities<V, kHtmlIndex>,
        entitykernels::DecodeEntities<V, kHtmlIndex>,
        entitykernels::EncodeEntities<V, kXmlIndex>,
        entitykernels::DecodeEntities<V, kXmlIndex>,
        urikernels::Encode<V>,
        urikernels::Decode<V>,
        bytemapkernels::MapBytes<V>,
        textmodekernels::Translate<V>,
        textmodekernels::Translate<V, true>,
        utf8kernels::ToUtf8<V>,
        utf8kernels::FromUtf8<V>,
    };
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace kernels
