#include "convert/textmode.h"

#include "convert/simd.h"

TextModeStop TranslateTextMode(const unsigned char* in, const unsigned char* end, unsigned char* out)
{
    return kernels::Chosen().m_translateTextMode(in, end, out);
}

TextModeStop TranslateTextModeDroppingCR(const unsigned char* in, const unsigned char* end, unsigned char* out)
{
    return kernels::Chosen().m_translateTextModeDroppingCR(in, end, out);
}
