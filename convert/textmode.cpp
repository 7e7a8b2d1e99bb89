#include "convert/textmode.h"

#include "convert/kernels/kernels.h"

TextModeStop TranslateTextMode(const unsigned char* in, const unsigned char* end, unsigned char* out)
{
    return kernels::Active().m_translateTextMode(in, end, out);
}

TextModeStop TranslateTextModeDroppingCR(const unsigned char* in, const unsigned char* end, unsigned char* out)
{
    return kernels::Active().m_translateTextModeDroppingCR(in, end, out);
}
