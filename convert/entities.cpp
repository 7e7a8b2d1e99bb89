#include "convert/entities.h"

#include <algorithm>

#include "convert/kernels/entity_kernels.h"
#include "convert/kernels/kernels.h"
#include "convert/kernels/steploop.h"
#include "convert/simd.h"

uint32_t EncodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_encodeHtml(cursor, output, remaining, capacity);
}

uint32_t DecodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_decodeHtml(cursor, output, remaining, capacity);
}

uint32_t EncodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_encodeXml(cursor, output, remaining, capacity);
}

uint32_t DecodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_decodeXml(cursor, output, remaining, capacity);
}

bool HasNoAmpersand(const unsigned char* text, uint32_t length)
{
    return bytescan::FindFirst(text, length, entitykernels::kAmpersand) == nullptr;
}

namespace {

// A '&' further back than this starts a text that ends inside the piece.
constexpr size_t kHoldbackReach = std::max(entitykernels::kHtmlIndex.m_longest, entitykernels::kXmlIndex.m_longest) - 1;
static_assert(kHoldbackReach <= CONVERT_MAX_HOLDBACK, "the reader's pieces must outlast the holdback");

}  // namespace

uint32_t EntityDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    return steploop::Holdback(piece, length, entitykernels::kAmpersand, static_cast<uint32_t>(kHoldbackReach));
}
