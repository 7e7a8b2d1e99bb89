#include "platform/conversions.h"

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "convert/utf8.h"
#include "platform/platform.h"
#include "platform/tablecodepages.h"

namespace conversions {

namespace {

// -a and -a-: the code-page step alone, in place, before no converter; or,
// where an OEM page was chosen with UTF-8 (Utf8Conversion), the expanding
// converters of that page. The one place that chooses how -a converts.
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

namespace {

// A character whose UTF-8 a cut inside a line divides waits for the next
// piece; ASCII is the same in the page and in UTF-8. Every character has its
// counterpart in UTF-8: the policy (GLYPHMILL_UNMAPPED) is -a-'s alone.
Conversion Utf8Conversion(uint16_t page, bool toUtf8, codepages::Unmapped policy)
{
    if (toUtf8) {
        return Conversion{nullptr, OemToUtf8Converter(page), nullptr, HasNoHighByte};
    }
    Conversion conversion{nullptr, Utf8ToOemConverter(page, policy), Utf8Holdback, HasNoHighByte};
    if (policy == codepages::Unmapped::kFail) {
        conversion.m_lossPage = page;
        conversion.m_lossFromUtf8 = true;
    }
    return conversion;
}

// The 8-bit pair under GLYPHMILL_UNMAPPED=fail: a converter that stops at a
// loss, in place of the step in place (ASCII is the same in every page).
// Under the other policies the step's table is the policy's.
Conversion PairConversion(const Row& row, bool on)
{
    const codepages::Pair* pair = platform::tables::ChosenPair();
    if (platform::ChosenUnmapped() != codepages::Unmapped::kFail || pair == nullptr) {
        return on ? row.m_whenOn : row.m_whenOff;
    }
    Conversion conversion{nullptr, on ? platform::tables::OemToAnsiUntilLoss : platform::tables::AnsiToOemUntilLoss,
                          nullptr, HasNoHighByte};
    conversion.m_lossPage = on ? pair->m_ansi : pair->m_oem;
    return conversion;
}

}  // namespace

bool Select(char letter, bool on, Conversion* conversion)
{
    const Row* row = Find(letter);
    if (row == nullptr) {
        return false;
    }
    if (letter != 'a') {
        *conversion = on ? row->m_whenOn : row->m_whenOff;
        return true;
    }
    const uint16_t utf8Page = platform::ChosenUtf8OemPage();
    *conversion = utf8Page != 0 ? Utf8Conversion(utf8Page, on, platform::ChosenUnmapped()) : PairConversion(*row, on);
    return true;
}

}  // namespace conversions
