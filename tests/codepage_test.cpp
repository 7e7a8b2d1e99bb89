#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "convert/codepages.h"
#include "convert/utf8.h"
#include "platform/conversions.h"
#include "platform/platform.h"
#include "tests/support/convert_test_util.h"
#include "tests/support/simd_levels.h"

// The tests run once: the host's conversions use the byte map at the level
// chosen at start-up, and BlockPaths.ByteMapMapsEveryByteLikeTheTable holds
// the byte map of every level to its table.

namespace {

using Fill = bool (*)(codepages::Pair, unsigned char*);

std::vector<unsigned char> AllBytesTwice()
{
    // Twice and offset, so both the block loop and the tail see every value.
    std::vector<unsigned char> bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b) {
            bytes.push_back(static_cast<unsigned char>((b * 7 + round) & 0xFF));
        }
    }
    bytes.push_back(0xE9);
    return bytes;
}

struct Direction {
    const char* name;
    void (*convert)(unsigned char*, uint32_t);
    Fill fill;
    const char* reference;  // what the Windows calls gave for 437 and 1252
};

const Direction kDirections[] = {
    {"oem to ansi", platform::OemToAnsi, codepages::FillOemToAnsi, "oem437_to_ansi1252.tsv"},
    {"ansi to oem", platform::AnsiToOem, codepages::FillAnsiToOem, "ansi1252_to_oem437.tsv"},
};

std::vector<unsigned char> TableOf(Fill fill, codepages::Pair pair)
{
    std::vector<unsigned char> table(256);
    for (size_t b = 0; b < table.size(); ++b) {
        table[b] = static_cast<unsigned char>(b);  // what a pair that converts nothing leaves
    }
    fill(pair, table.data());
    return table;
}

std::ifstream OpenData(const std::string& name)
{
    return std::ifstream(std::string(GLYPHMILL_SOURCE_DIR) + "/data/codepages/" + name);
}

// Every byte against the reference table, read at run time: a heading line,
// then one line per byte, "byte<TAB>result<TAB>..." in hexadecimal.
TEST(CodePages, EveryByteMatchesTheReferenceTable)
{
    platform::UseCodePages(codepages::kDefaultPair);
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        const std::vector<unsigned char> table = TableOf(d.fill, codepages::kDefaultPair);
        std::ifstream file = OpenData(d.reference);
        ASSERT_TRUE(file) << d.reference;
        std::string line;
        ASSERT_TRUE(std::getline(file, line));
        ASSERT_EQ(line.rfind("byte\tresult\t", 0), 0u) << line;
        std::vector<bool> seen(256, false);
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            unsigned int byte = 256;
            unsigned int result = 256;
            fields >> std::hex >> byte >> result;
            ASSERT_TRUE(fields && byte < 256 && result < 256) << line;
            EXPECT_FALSE(seen[byte]) << "byte " << byte << " listed twice";
            seen[byte] = true;
            EXPECT_EQ(table[byte], result) << "byte " << byte;
            unsigned char converted = static_cast<unsigned char>(byte);
            d.convert(&converted, 1);
            EXPECT_EQ(converted, result) << "byte " << byte << " through the host call";
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
    }
}

// Through the host's conversions, a pair chosen in place of the locale's.
TEST(CodePages, EveryByteGoesThroughTheChosenPairsTable)
{
    const codepages::Pair kPairs[] = {{437, 1252}, {866, 1251}, {1258, 874}, {932, 932}};
    for (const codepages::Pair pair : kPairs) {
        platform::UseCodePages(pair);
        for (const Direction& d : kDirections) {
            SCOPED_TRACE(std::to_string(pair.m_oem) + ":" + std::to_string(pair.m_ansi) + " " + d.name);
            const std::vector<unsigned char> table = TableOf(d.fill, pair);
            std::vector<unsigned char> bytes = AllBytesTwice();
            const std::vector<unsigned char> original = bytes;
            d.convert(bytes.data(), static_cast<uint32_t>(bytes.size()));
            for (size_t i = 0; i < bytes.size(); ++i) {
                ASSERT_EQ(bytes[i], table[original[i]]) << "byte " << int(original[i]) << " at " << i;
            }
        }
    }
    platform::UseCodePages(codepages::kDefaultPair);
}

struct Sample {
    const char* name;
    codepages::Pair pair;
    unsigned char oem;
    unsigned char ansi;
};

// Known points of the pages; a table shifted by one, or another pair's,
// would fail them.
const Sample kSamples[] = {
    {"e acute", {437, 1252}, 0x82, 0xE9},        {"C cedilla", {437, 1252}, 0x80, 0xC7},
    {"ae ligature", {437, 1252}, 0x91, 0xE6},    {"sharp s", {437, 1252}, 0xE1, 0xDF},
    {"no-break space", {437, 1252}, 0xFF, 0xA0}, {"ascii", {437, 1252}, 'A', 'A'},
    {"o slash", {850, 1252}, 0x9B, 0xF8},        {"Cyrillic A", {866, 1251}, 0x80, 0xC0},
    {"Cyrillic ya", {866, 1251}, 0xEF, 0xFF},    {"a ogonek", {852, 1250}, 0xA5, 0xB9},
    {"Greek Alpha", {737, 1253}, 0x80, 0xC1},    {"dotless i", {857, 1254}, 0x8D, 0xFD},
    {"Hebrew alef", {862, 1255}, 0x80, 0xE0},    {"Cyrillic Dje", {855, 1251}, 0x81, 0x80},
};

TEST(CodePageTables, KnownCharactersMapBothWays)
{
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(std::string(s.name) + " in " + std::to_string(s.pair.m_oem) + ":" + std::to_string(s.pair.m_ansi));
        EXPECT_EQ(TableOf(codepages::FillOemToAnsi, s.pair)[s.oem], s.ansi);
        EXPECT_EQ(TableOf(codepages::FillAnsiToOem, s.pair)[s.ansi], s.oem);
    }
}

// One page's column of a data table, keyed by the row's first field.
using Column = std::map<unsigned, unsigned>;

std::map<unsigned, Column> ReadData(const std::string& name)
{
    std::ifstream file = OpenData(name);
    std::string line;
    std::getline(file, line);
    std::vector<unsigned> pages;
    std::istringstream heading(line);
    std::string field;
    heading >> field;
    while (heading >> field) {
        pages.push_back(static_cast<unsigned>(std::stoul(field.substr(2))));  // "cp437"
    }
    std::map<unsigned, Column> columns;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        unsigned key = 0;
        fields >> std::hex >> key;
        for (unsigned page : pages) {
            fields >> columns[page][key];
        }
    }
    return columns;
}

// -a and -a- under GLYPHMILL_UNMAPPED=fail, as the programs choose them:
// every byte stopped at is one the replace table writes as '?' from 0x80 up.
void ExpectFailStopsWhereReplaceLoses(codepages::Pair pair, const unsigned char* oemToAnsi,
                                      const unsigned char* ansiToOem)
{
    platform::UseCodePages(pair);
    platform::UseUnmapped(codepages::Unmapped::kFail);
    for (const bool on : {true, false}) {
        const unsigned char* table = on ? oemToAnsi : ansiToOem;
        Conversion conversion;
        ASSERT_TRUE(conversions::Select('a', on, &conversion));
        ASSERT_EQ(conversion.m_lossPage, on ? pair.m_ansi : pair.m_oem);
        const std::string bytes = AllByteValues() + AllByteValues();
        std::string expected;
        for (const char byte : bytes) {
            const auto b = static_cast<unsigned char>(byte);
            expected += b >= 0x80 && table[b] == '?' ? "" : std::string(1, static_cast<char>(table[b]));
        }
        std::string converted;
        std::vector<unsigned char> text(bytes.begin(), bytes.end());
        for (size_t at = 0; at < text.size(); ++at) {
            const auto left = static_cast<uint32_t>(text.size() - at);
            uint64_t lineFeeds = 0;
            const uint32_t recoded = conversion.m_recodeUntilLoss(text.data() + at, left, &lineFeeds);
            converted.append(reinterpret_cast<char*>(text.data() + at), recoded);
            at += recoded;
            if (recoded < left) {
                EXPECT_TRUE(text[at] >= 0x80 && table[text[at]] == '?') << "stopped at byte " << int(text[at]);
            }
        }
        EXPECT_EQ(converted, expected) << (on ? "-a" : "-a-");
    }
    platform::UseUnmapped(codepages::Unmapped::kWindows);
    platform::UseCodePages(codepages::kDefaultPair);
}

// Every pair, both ways, as Windows composes it from the pages' data:
// ansi.from_unicode[oem.to_unicode[byte]], and bytes below 0x80 unchanged.
TEST(CodePageTables, EveryPairIsTheCompositionOfItsPages)
{
    const std::map<unsigned, Column> toUnicode = ReadData("to_unicode.tsv");
    const std::map<unsigned, Column> fromUnicode = ReadData("from_unicode.tsv");
    ASSERT_EQ(toUnicode.size(), 26u) << "pages in to_unicode.tsv";
    int pairs = 0;
    for (const auto& [oem, oemToUnicode] : toUnicode) {
        for (const auto& [ansi, ansiToUnicode] : toUnicode) {
            const codepages::Pair pair{static_cast<uint16_t>(oem), static_cast<uint16_t>(ansi)};
            unsigned char oemToAnsi[256];
            unsigned char ansiToOem[256];
            const std::string text = std::to_string(oem) + ":" + std::to_string(ansi);
            codepages::Pair parsed;
            if (!codepages::ParsePair(text.c_str(), &parsed)) {
                continue;
            }
            SCOPED_TRACE(text);
            ++pairs;
            ASSERT_TRUE(codepages::FillOemToAnsi(pair, oemToAnsi) && codepages::FillAnsiToOem(pair, ansiToOem));
            unsigned char oemToAnsiExact[256];
            unsigned char ansiToOemExact[256];
            codepages::FillOemToAnsi(pair, oemToAnsiExact, codepages::Unmapped::kReplace);
            codepages::FillAnsiToOem(pair, ansiToOemExact, codepages::Unmapped::kReplace);
            const auto exact = [](unsigned byte, const Column& target, unsigned character) {
                return (byte < 0x80 ? byte : target.at(byte)) == character ? byte : '?';
            };
            for (unsigned b = 0; b < 256; ++b) {
                const unsigned toAnsi = b < 0x80 ? b : fromUnicode.at(ansi).at(oemToUnicode.at(b));
                const unsigned toOem = b < 0x80 ? b : fromUnicode.at(oem).at(ansiToUnicode.at(b));
                ASSERT_EQ(oemToAnsi[b], toAnsi) << "OEM byte " << b;
                ASSERT_EQ(ansiToOem[b], toOem) << "ANSI byte " << b;
                const unsigned character = b < 0x80 ? b : oemToUnicode.at(b);
                ASSERT_EQ(oemToAnsiExact[b], exact(toAnsi, ansiToUnicode, character)) << "OEM byte " << b;
                ASSERT_EQ(ansiToOemExact[b], exact(toOem, oemToUnicode, b < 0x80 ? b : ansiToUnicode.at(b)))
                    << "ANSI byte " << b;
            }
            ExpectFailStopsWhereReplaceLoses(pair, oemToAnsiExact, ansiToOemExact);
        }
    }
    EXPECT_EQ(pairs, 18 * 10) << "every OEM page with every ANSI page";
}

std::string Utf8Of(unsigned character)
{
    std::string utf8;
    if (character < 0x80) {
        utf8 += static_cast<char>(character);
    } else if (character < 0x800) {
        utf8 += {static_cast<char>(0xC0 | character >> 6), static_cast<char>(0x80 | (character & 0x3F))};
    } else {
        utf8 += {static_cast<char>(0xE0 | character >> 12), static_cast<char>(0x80 | (character >> 6 & 0x3F)),
                 static_cast<char>(0x80 | (character & 0x3F))};
    }
    return utf8;
}

// The UTF-8 converters have kernels of their own at every level.
class CodePagesWithUtf8 : public CAtEveryLevel {};

// The converter over the whole text, each character it stops in front of
// (GLYPHMILL_UNMAPPED=fail) listed and stepped over as if it wrote nothing.
std::string ConvertStepping(const Converter& convert, const std::string& text, std::vector<size_t>* stops)
{
    std::string out;
    const auto* cursor = reinterpret_cast<const unsigned char*>(text.data());
    uint32_t remaining = static_cast<uint32_t>(text.size());
    std::vector<unsigned char> chunk(LINE_BUF_SIZE);
    while (remaining > 0) {
        const uint32_t before = remaining;
        out.append(reinterpret_cast<char*>(chunk.data()), convert(&cursor, chunk.data(), &remaining, LINE_BUF_SIZE));
        if (remaining == before) {
            stops->push_back(text.size() - remaining);
            const uint32_t length = *cursor < 0xE0 ? 2 : 3;  // the text holds characters up to U+FFFF
            cursor += length;
            remaining -= length;
        }
    }
    return out;
}

// What -a- writes for `character` (from U+0080 up) under each policy, from
// the data alone: Windows' byte but a control byte; only a byte whose
// character is that one; and fail stops where replace writes '?'.
char ExpectedOemByte(codepages::Unmapped policy, const Column& toUnicode, const Column& fromUnicode, unsigned character)
{
    const auto found = fromUnicode.find(character);
    const unsigned byte = found == fromUnicode.end() ? '?' : found->second;
    const bool control = byte < 0x20 || byte == 0x7F;
    const bool exact = byte >= 0x80 && toUnicode.at(byte) == character;
    return policy == codepages::Unmapped::kWindows ? (control ? '?' : static_cast<char>(byte))
                                                   : (exact ? static_cast<char>(byte) : '?');
}

const codepages::Unmapped kPolicies[] = {codepages::Unmapped::kWindows, codepages::Unmapped::kReplace,
                                         codepages::Unmapped::kFail};

// Every OEM page with UTF-8, both ways, as its data says: each byte to its
// character, and every character up to U+FFFF (surrogates aside) to the byte
// the page writes for it under each policy; under fail the converter stops
// at exactly the characters replace writes as '?'.
TEST_P(CodePagesWithUtf8, EveryOemPageWithUtf8AsItsData)
{
    const std::map<unsigned, Column> toUnicode = ReadData("to_unicode.tsv");
    const std::map<unsigned, Column> fromUnicode = ReadData("from_unicode.tsv");
    std::string characters;
    for (unsigned character = 1; character <= 0xFFFF; ++character) {
        characters += character < 0xD800 || character > 0xDFFF ? Utf8Of(character) : "";
    }
    int pages = 0;
    for (const auto& [page, pageToUnicode] : toUnicode) {
        const Converter toUtf8 = At(OemToUtf8Converter(static_cast<uint16_t>(page)));
        if (toUtf8 == nullptr) {
            continue;
        }
        SCOPED_TRACE(page);
        ++pages;
        std::string expectedUtf8;
        for (unsigned b = 0; b < 256; ++b) {
            expectedUtf8 += Utf8Of(b < 0x80 ? b : pageToUnicode.at(b));
        }
        EXPECT_EQ(ConvertLine(toUtf8, AllByteValues()), expectedUtf8);
        for (const codepages::Unmapped policy : kPolicies) {
            SCOPED_TRACE(static_cast<int>(policy));
            const bool fails = policy == codepages::Unmapped::kFail;
            std::string expected;
            std::vector<size_t> expectedStops;
            size_t at = 0;  // in the UTF-8 text
            for (unsigned character = 1; character <= 0xFFFF; ++character) {
                if (character >= 0xD800 && character <= 0xDFFF) {
                    continue;
                }
                const char byte = character < 0x80 ? static_cast<char>(character)
                                                   : ExpectedOemByte(fails ? codepages::Unmapped::kReplace : policy,
                                                                     pageToUnicode, fromUnicode.at(page), character);
                if (fails && character >= 0x80 && byte == '?') {
                    expectedStops.push_back(at);
                } else {
                    expected += byte;
                }
                at += Utf8Of(character).size();
            }
            std::vector<size_t> stops;
            const std::string converted =
                ConvertStepping(At(Utf8ToOemConverter(static_cast<uint16_t>(page), policy)), characters, &stops);
            EXPECT_EQ(stops, expectedStops);
            ASSERT_EQ(converted.size(), expected.size());
            for (size_t i = 0; i < converted.size(); ++i) {
                ASSERT_EQ(converted[i], expected[i]) << "byte " << i;
            }
        }
    }
    EXPECT_EQ(pages, 18) << "every single-byte OEM page";
}

GLYPHMILL_AT_EVERY_LEVEL(CodePagesWithUtf8);

}  // namespace
