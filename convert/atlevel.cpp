#include "convert/atlevel.h"

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/simd.h"
#include "convert/uri.h"

namespace kernels {

namespace {

// Each public converter with kernels per level, and its place in a table.
struct PublicConverter {
    ConvertFn m_converter;
    ConvertFn Table::*m_kernel;
};

constexpr PublicConverter kPublicConverters[] = {
    {ToWindowsLineEnds, &Table::m_toWindows},   {ToMacLineEnds, &Table::m_toMac},
    {EncodeHtmlEntities, &Table::m_encodeHtml}, {DecodeHtmlEntities, &Table::m_decodeHtml},
    {EncodeXmlEntities, &Table::m_encodeXml},   {DecodeXmlEntities, &Table::m_decodeXml},
    {UriEncode, &Table::m_uriEncode},           {UriDecode, &Table::m_uriDecode},
};

// The kernels whose converters carry a context (utf8.h's, made at a level of
// the caller's choosing).
constexpr ContextConvertFn Table::*kContextKernels[] = {&Table::m_oemToUtf8, &Table::m_utf8ToOem};

}  // namespace

ConvertFn AtLevel(ConvertFn converter, simd::Level level)
{
    for (const PublicConverter& entry : kPublicConverters) {
        if (entry.m_converter == converter) {
            return ForLevel(level).*entry.m_kernel;
        }
    }
    return converter;
}

Converter AtLevel(const Converter& converter, simd::Level level)
{
    if (converter.m_withContext == nullptr) {
        return AtLevel(converter.m_plain, level);
    }
    // Whatever level it was made at: a table made before UseLevel stays good.
    for (int rank = 0; rank < simd::BuildLevelCount(); ++rank) {
        for (const auto kernel : kContextKernels) {
            if (converter.m_withContext == ForLevel(simd::BuildLevel(rank)).*kernel) {
                return Converter(ForLevel(level).*kernel, converter.m_context);
            }
        }
    }
    return converter;
}

}  // namespace kernels
