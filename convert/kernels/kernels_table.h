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

// Each kernel is assigned to its member by name, so the order of the lines
// cannot matter and two kernels of the same type cannot trade places unseen.
// A member left out stays null, which the tests find at every level this
// build has (LevelRegistry.EveryLevelHasEveryKernel), run or not.
template <typename V>
constexpr Table MakeTable()
{
    Table table{};
    table.m_toWindows = lineendkernels::ToWindows<V>;
    table.m_toMac = lineendkernels::ToMac<V>;
    table.m_countLineFeeds = lineendkernels::CountLineFeeds<V>;
    table.m_encodeHtml = entitykernels::EncodeEntities<V, entitykernels::kHtmlIndex>;
    table.m_decodeHtml = entitykernels::DecodeEntities<V, entitykernels::kHtmlIndex>;
    table.m_encodeXml = entitykernels::EncodeEntities<V, entitykernels::kXmlIndex>;
    table.m_decodeXml = entitykernels::DecodeEntities<V, entitykernels::kXmlIndex>;
    table.m_uriEncode = urikernels::Encode<V>;
    table.m_uriDecode = urikernels::Decode<V>;
    table.m_mapBytes = bytemapkernels::MapBytes<V>;
    table.m_mapBytesUntilLoss = bytemapkernels::MapBytesUntilLoss<V>;
    table.m_translateTextMode = textmodekernels::Translate<V>;
    table.m_translateTextModeDroppingCR = textmodekernels::Translate<V, true>;
    table.m_oemToUtf8 = utf8kernels::ToUtf8<V>;
    table.m_utf8ToOem = utf8kernels::FromUtf8<V>;
    return table;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace kernels
