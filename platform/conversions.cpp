#include "platform/conversions.h"

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "platform/platform.h"

namespace conversions {

namespace {

// -a and -a-: the code-page step alone, in place, before no converter. The
// one place that chooses how -a converts (a converter of its own for another
// kind of code page would be set here).
constexpr Conversion kOemToAnsi{platform::OemToAnsi, nullptr, nullptr};
constexpr Conversion kAnsiToOem{platform::AnsiToOem, nullptr, nullptr};

// -u, -w and -m on select their converter and off copy the text unchanged;
// -h, -x, -i and -a select a direction either way. A decoder holds back the
// start of a match that a cut inside a line may split, and skips text without
// its special byte; -u's CRs are dropped by the reader while it reads.
const Row kRows[] = {
    {'a', kOemToAnsi, kAnsiToOem, false},
    {'u', {nullptr, ToUnixLineEnds, nullptr, HasNoCR, true}, {}, true},
    {'w', {nullptr, ToWindowsLineEnds, nullptr}, {}, true},
    {'m', {nullptr, ToMacLineEnds, nullptr}, {}, true},
    {'h',
     {nullptr, EncodeHtmlEntities, nullptr},
     {nullptr, DecodeHtmlEntities, EntityDecodeHoldback, HasNoAmpersand},
     false},
    {'x',
     {nullptr, EncodeXmlEntities, nullptr},
     {nullptr, DecodeXmlEntities, EntityDecodeHoldback, HasNoAmpersand},
     false},
    {'i', {nullptr, UriEncode, nullptr}, {nullptr, UriDecode, UriDecodeHoldback, HasNoPercent}, false},
};

}  // namespace

const Row* Find(char letter)
{
    for (const Row& row : kRows) {
        if (row.m_letter == letter) {
            return &row;
        }
    }
    return nullptr;
}

bool Select(char letter, bool on, Conversion* conversion)
{
    const Row* row = Find(letter);
    if (row == nullptr) {
        return false;
    }
    *conversion = on ? row->m_whenOn : row->m_whenOff;
    return true;
}

}  // namespace conversions
