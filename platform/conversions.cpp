#include "platform/conversions.h"

#include <array>
#include <cstddef>

#include "convert/entities.h"
#include "convert/lineends.h"
#include "convert/uri.h"
#include "convert/utf8.h"
#include "platform/platform.h"
#include "platform/tablecodepages.h"

namespace conversions {

namespace {

struct Row {
    char m_letter = 0;
    Conversion m_whenOn;
    Conversion m_whenOff;
    // Windows text mode on standard output would turn the LF that the
    // conversion writes back into CR LF.
    bool m_binaryOutputWhenOn = false;
};

constexpr size_t kRowCount = 7;

// Each part of a row is set by name, so that parts of the same type (a row's
// two conversions, a converter and its neighbour's) cannot trade places.
// -u, -w and -m on select their converter and off copy the text unchanged;
// -h, -x, -i and -a select a direction either way. A decoder holds back the
// start of a match that a cut inside a line may split, and skips text without
// its special byte; -u's CRs are dropped by the reader while it reads.
constexpr std::array<Row, kRowCount> BuildRows()
{
    std::array<Row, kRowCount> rows{};
    size_t next = 0;
    auto add = [&rows, &next](char letter) -> Row& {
        Row& row = rows[next++];
        row.m_letter = letter;
        return row;
    };

    // -a and -a-: the code-page step alone, in place, before no converter;
    // Select puts an OEM page's converters to and from UTF-8 in its place.
    Row& a = add('a');
    a.m_whenOn.m_recode = platform::OemToAnsi;
    a.m_whenOff.m_recode = platform::AnsiToOem;

    Row& u = add('u');
    u.m_whenOn.m_convert = ToUnixLineEnds;
    u.m_whenOn.m_unchanged = HasNoCR;
    u.m_whenOn.m_dropCRWhileReading = true;
    u.m_binaryOutputWhenOn = true;

    Row& w = add('w');
    w.m_whenOn.m_convert = ToWindowsLineEnds;
    w.m_binaryOutputWhenOn = true;

    Row& m = add('m');
    m.m_whenOn.m_convert = ToMacLineEnds;
    m.m_binaryOutputWhenOn = true;

    Row& h = add('h');
    h.m_whenOn.m_convert = EncodeHtmlEntities;
    h.m_whenOff.m_convert = DecodeHtmlEntities;
    h.m_whenOff.m_holdback = EntityDecodeHoldback;
    h.m_whenOff.m_unchanged = HasNoAmpersand;

    Row& x = add('x');
    x.m_whenOn.m_convert = EncodeXmlEntities;
    x.m_whenOff.m_convert = DecodeXmlEntities;
    x.m_whenOff.m_holdback = EntityDecodeHoldback;
    x.m_whenOff.m_unchanged = HasNoAmpersand;

    Row& i = add('i');
    i.m_whenOn.m_convert = UriEncode;
    i.m_whenOff.m_convert = UriDecode;
    i.m_whenOff.m_holdback = UriDecodeHoldback;
    i.m_whenOff.m_unchanged = HasNoPercent;
    return rows;
}

constexpr std::array<Row, kRowCount> kRows = BuildRows();
static_assert(kRows.back().m_letter != 0, "kRowCount is more than BuildRows fills");

const Row* Find(char letter)
{
    for (const Row& row : kRows) {
        if (row.m_letter == letter) {
            return &row;
        }
    }
    return nullptr;
}

// A character whose UTF-8 a cut inside a line divides waits for the next
// piece; ASCII is the same in the page and in UTF-8. Every character has its
// counterpart in UTF-8: the policy (GLYPHMILL_UNMAPPED) is -a-'s alone.
Conversion Utf8Conversion(uint16_t page, bool toUtf8, codepages::Unmapped policy)
{
    Conversion conversion;
    conversion.m_unchanged = HasNoHighByte;
    if (toUtf8) {
        conversion.m_convert = OemToUtf8Converter(page);
        return conversion;
    }
    conversion.m_convert = Utf8ToOemConverter(page, policy);
    conversion.m_holdback = Utf8Holdback;
    if (policy == codepages::Unmapped::kFail) {
        conversion.m_lossPage = page;
        conversion.m_lossFromUtf8 = true;
    }
    return conversion;
}

// The 8-bit pair under GLYPHMILL_UNMAPPED=fail: the step in place that stops
// at a loss. Under the other policies the step's table is the policy's.
Conversion PairConversion(const Row& row, bool on)
{
    const codepages::Pair* pair = platform::tables::ChosenPair();
    if (platform::ChosenUnmapped() != codepages::Unmapped::kFail || pair == nullptr) {
        return on ? row.m_whenOn : row.m_whenOff;
    }
    Conversion conversion;
    conversion.m_recodeUntilLoss = on ? platform::tables::OemToAnsiUntilLoss : platform::tables::AnsiToOemUntilLoss;
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

bool NeedsBinaryOutput(char letter, bool on)
{
    const Row* row = Find(letter);
    return row != nullptr && on && row->m_binaryOutputWhenOn;
}

}  // namespace conversions
