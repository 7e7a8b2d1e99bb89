#include "convert/utf8.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <utility>

#include "convert/generated/codepage_tables.h"
#include "convert/kernels/kernels.h"
#include "convert/kernels/utf8_kernels.h"
#include "convert/simd.h"

namespace {

namespace tables = codepages::tables;
using utf8kernels::Page;

void SetUtf8(unsigned char (&slot)[4], uint32_t character)
{
    if (character < 0x80) {
        slot[0] = static_cast<unsigned char>(character);
        slot[3] = 1;
    } else if (character < 0x800) {
        slot[0] = static_cast<unsigned char>(0xC0 | character >> 6);
        slot[1] = static_cast<unsigned char>(0x80 | (character & 0x3F));
        slot[3] = 2;
    } else {
        slot[0] = static_cast<unsigned char>(0xE0 | character >> 12);
        slot[1] = static_cast<unsigned char>(0x80 | (character >> 6 & 0x3F));
        slot[2] = static_cast<unsigned char>(0x80 | (character & 0x3F));
        slot[3] = 3;
    }
}

// Whether -a- writes `byte` for `character` (from U+0080 up) under
// `policy`: kWindows takes every entry but a control byte (a screen glyph's:
// it would end a line or the text), the others exact counterparts alone.
bool Writes(int index, codepages::Unmapped policy, uint32_t character, unsigned char byte)
{
    if (policy == codepages::Unmapped::kWindows) {
        return byte >= 0x20 && byte != 0x7F;
    }
    return codepages::IsExactOemByte(tables::kOemPages[index], character, byte);
}

void Build(int index, codepages::Unmapped policy, Page& page)
{
    page.m_stopAtLoss = policy == codepages::Unmapped::kFail;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        SetUtf8(page.m_utf8[byte], byte < 0x80 ? byte : tables::kOemToUnicode[index][byte - 0x80]);
    }
    for (int plane = 0; plane < 3; ++plane) {
        for (int byte = 0; byte < 128; ++byte) {
            page.m_planes[plane][byte] = page.m_utf8[128 + byte][plane];
        }
    }
    std::memset(page.m_rowOf, 0, sizeof page.m_rowOf);
    std::memset(page.m_rows, tables::kDefaultByte, sizeof page.m_rows);
    int rows = 1;
    for (int i = tables::kFromUnicodeStart[index]; i < tables::kFromUnicodeStart[index + 1]; ++i) {
        const tables::FromUnicode entry = tables::kFromUnicode[i];
        if (!Writes(index, policy, entry.m_character, entry.m_byte)) {
            continue;
        }
        unsigned char& row = page.m_rowOf[entry.m_character >> 8];
        if (row == 0) {
            row = static_cast<unsigned char>(rows++);  // the generator counted them: kFromUnicodeRows
        }
        page.m_rows[row][entry.m_character & 0xFF] = entry.m_byte;
    }
}

constexpr int kPolicyCount = 3;

// Built on first use, each page under each policy apart (about 6 KiB): a
// run builds the one it converts with.
template <int kIndex, codepages::Unmapped kPolicy>
const Page& PageAt()
{
    static const Page page = [] {
        Page built;
        Build(kIndex, kPolicy, built);
        return built;
    }();
    return page;
}

// One ConvertFn per page, since a converter takes nothing but the text, and
// per level: the public ones (kChosen) call the level chosen at start-up, as
// every public converter does; those of a level's rank serve AtLevel.
constexpr int kChosen = -1;

template <int kRank>
const kernels::Table& KernelsOf()
{
    return kRank == kChosen ? kernels::Chosen() : kernels::ForLevel(static_cast<simd::Level>(kRank));
}

template <int kIndex, int kRank>
uint32_t OemToUtf8(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return KernelsOf<kRank>().m_oemToUtf8(PageAt<kIndex, codepages::Unmapped::kWindows>(), cursor, output, remaining,
                                          capacity);
}

template <int kIndex, int kRank, codepages::Unmapped kPolicy>
uint32_t Utf8ToOem(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return KernelsOf<kRank>().m_utf8ToOem(PageAt<kIndex, kPolicy>(), cursor, output, remaining, capacity);
}

struct PageConverters {
    ConvertFn m_toUtf8[tables::kOemPageCount];
    ConvertFn m_fromUtf8[kPolicyCount][tables::kOemPageCount];
};

using PageIndices = std::make_integer_sequence<int, tables::kOemPageCount>;

template <int kRank, int... kIndex>
constexpr PageConverters MakeConverters(std::integer_sequence<int, kIndex...>)
{
    using codepages::Unmapped;
    return PageConverters{{OemToUtf8<kIndex, kRank>...},
                          {{Utf8ToOem<kIndex, kRank, Unmapped::kWindows>...},
                           {Utf8ToOem<kIndex, kRank, Unmapped::kReplace>...},
                           {Utf8ToOem<kIndex, kRank, Unmapped::kFail>...}}};
}

template <int... kRank>
constexpr std::array<PageConverters, sizeof...(kRank)> MakeLevels(std::integer_sequence<int, kRank...>)
{
    return {MakeConverters<kRank>(PageIndices())...};
}

constexpr PageConverters kConverters = MakeConverters<kChosen>(PageIndices());
constexpr auto kConvertersAt = MakeLevels(std::make_integer_sequence<int, kernels::kLevelCount>());

int IndexOf(uint16_t page)
{
    const auto found = std::find(std::begin(tables::kOemPages), std::end(tables::kOemPages), page);
    return found == std::end(tables::kOemPages) ? -1 : static_cast<int>(found - std::begin(tables::kOemPages));
}

}  // namespace

ConvertFn OemToUtf8Converter(uint16_t page)
{
    const int index = IndexOf(page);
    return index < 0 ? nullptr : kConverters.m_toUtf8[index];
}

ConvertFn Utf8ToOemConverter(uint16_t page, codepages::Unmapped policy)
{
    const int index = IndexOf(page);
    return index < 0 ? nullptr : kConverters.m_fromUtf8[static_cast<int>(policy)][index];
}

bool HasNoHighByte(const unsigned char* text, uint32_t length)
{
    // Eight bytes at a time, and a look at the result every 64: the top bit
    // of each byte is where it is in a word of either byte order.
    constexpr uint64_t kTops = 0x8080808080808080u;
    uint64_t seen = 0;
    uint32_t at = 0;
    for (; length - at >= 64; at += 64) {
        for (uint32_t i = 0; i < 64; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, text + at + i, sizeof word);
            seen |= word;
        }
        if ((seen & kTops) != 0) {
            return false;
        }
    }
    for (; at < length; ++at) {
        seen |= text[at];
    }
    return (seen & kTops) == 0;
}

namespace {

// A sequence is at most four bytes: a cut leaves at most three before it.
constexpr uint32_t kLongestCut = 3;
static_assert(kLongestCut <= CONVERT_MAX_HOLDBACK, "the reader's pieces must outlast the holdback");

}  // namespace

uint32_t Utf8Holdback(const unsigned char* piece, uint32_t length)
{
    for (uint32_t back = 1; back <= kLongestCut && back <= length; ++back) {
        const unsigned char byte = piece[length - back];
        if (byte < 0x80) {
            return 0;
        }
        if (byte >= 0xC0) {
            return utf8kernels::kLeads.m_lead[byte].m_follow >= back ? back : 0;
        }
    }
    return 0;
}

ConvertFn kernels::PageConverterAtLevel(ConvertFn converter, simd::Level level)
{
    const int rank = static_cast<int>(level);
    if (rank < 0 || rank >= kLevelCount) {
        return nullptr;
    }
    for (int i = 0; i < tables::kOemPageCount; ++i) {
        if (converter == kConverters.m_toUtf8[i]) {
            return kConvertersAt[static_cast<size_t>(rank)].m_toUtf8[i];
        }
        for (int p = 0; p < kPolicyCount; ++p) {
            if (converter == kConverters.m_fromUtf8[p][i]) {
                return kConvertersAt[static_cast<size_t>(rank)].m_fromUtf8[p][i];
            }
        }
    }
    return nullptr;
}
