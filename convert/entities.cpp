#include "convert/entities.h"

#include <algorithm>

#include "convert/kernels/entity_kernels.h"
#include "convert/kernels/kernels.h"
#include "convert/kernels/steploop.h"

uint32_t EncodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Active().m_encodeHtml(cursor, output, remaining, capacity);
}

uint32_t DecodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Active().m_decodeHtml(cursor, output, remaining, capacity);
}

uint32_t EncodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Active().m_encodeXml(cursor, output, remaining, capacity);
}

uint32_t DecodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Active().m_decodeXml(cursor, output, remaining, capacity);
}

bool HasNoAmpersand(const unsigned char* text, uint32_t length)
{
    return bytescan::FindFirst(text, length, entitykernels::kAmpersand) == nullptr;
}

uint32_t EntityDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    using entitykernels::kAmpersand;
    using entitykernels::kHtmlIndex;
    using entitykernels::kXmlIndex;
    // A '&' further back than this starts a text that ends inside the piece.
    const size_t reach = std::max(kHtmlIndex.m_longest, kXmlIndex.m_longest) - 1;
    return steploop::Holdback(piece, length, kAmpersand, static_cast<uint32_t>(reach));
}
