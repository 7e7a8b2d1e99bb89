#include "convert/uri.h"

#include "convert/kernels/kernels.h"
#include "convert/kernels/steploop.h"
#include "convert/kernels/uri_kernels.h"
#include "convert/simd.h"

uint32_t UriEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_uriEncode(cursor, output, remaining, capacity);
}

uint32_t UriDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_uriDecode(cursor, output, remaining, capacity);
}

bool HasNoPercent(const unsigned char* text, uint32_t length)
{
    return bytescan::FindFirst(text, length, urikernels::kPercent) == nullptr;
}

namespace {

// A '%' further back has both its digit places inside the piece.
constexpr uint32_t kHoldbackReach = urikernels::kEscapeLength - 1;
static_assert(kHoldbackReach <= CONVERT_MAX_HOLDBACK, "the reader's pieces must outlast the holdback");

}  // namespace

uint32_t UriDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    return steploop::Holdback(piece, length, urikernels::kPercent, kHoldbackReach);
}
