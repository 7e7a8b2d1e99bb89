#include "convert/atlevel.h"

#include "convert/entities.h"
#include "convert/kernels/kernels.h"
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

}  // namespace

ConvertFn AtLevel(ConvertFn converter, simd::Level level)
{
    for (const PublicConverter& entry : kPublicConverters) {
        if (entry.m_converter == converter) {
            return ForLevel(level).*entry.m_kernel;
        }
    }
    const ConvertFn page = PageConverterAtLevel(converter, level);
    return page != nullptr ? page : converter;
}

}  // namespace kernels
