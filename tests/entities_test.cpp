#include "convert/entities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "convert/kernels/entity_tables.h"
#include "tests/support/convert_test_util.h"
#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class Entities : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(Entities);

namespace {

// The two algorithms as plain row-by-row scans: the oracle for the indexed
// converters, which must match them call by call.
bool BelowLimit(uint32_t position, uint32_t capacity)
{
    return int64_t{position} < int64_t{capacity} - int64_t{CONVERT_HEADROOM};
}

template <const EntityRow* kTable>
uint32_t ReferenceEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    uint32_t position = 0;
    for (; *remaining > 0 && BelowLimit(position, capacity); ++*cursor, --*remaining) {
        const EntityRow* row = kTable;
        while (row->m_code != 0 && row->m_code != **cursor) {
            ++row;
        }
        if (row->m_text == nullptr) {
            output[position++] = **cursor;
            continue;
        }
        const uint32_t length = static_cast<uint32_t>(std::strlen(row->m_text));
        std::memcpy(output + position, row->m_text, length);
        position += length;
    }
    return position;
}

template <const EntityRow* kTable>
uint32_t ReferenceDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    uint32_t position = 0;
    while (*remaining > 0 && BelowLimit(position, capacity)) {
        const EntityRow* row = kTable;
        uint32_t length = 0;
        for (; row->m_text != nullptr; ++row) {
            length = static_cast<uint32_t>(std::strlen(row->m_text));
            if (length <= *remaining && std::memcmp(*cursor, row->m_text, length) == 0) {
                break;
            }
        }
        const uint32_t consumed = row->m_text != nullptr ? length : 1;
        output[position++] = row->m_text != nullptr ? row->m_code : **cursor;
        *cursor += consumed;
        *remaining -= consumed;
    }
    return position;
}

struct Converters {
    const char* name;
    const EntityRow* table;
    ConvertFn encode, decode, referenceEncode, referenceDecode;
};

const Converters kBoth[] = {
    {"html", HtmlEntityTable, EncodeHtmlEntities, DecodeHtmlEntities, ReferenceEncode<HtmlEntityTable>,
     ReferenceDecode<HtmlEntityTable>},
    {"xml", XmlEntityTable, EncodeXmlEntities, DecodeXmlEntities, ReferenceEncode<XmlEntityTable>,
     ReferenceDecode<XmlEntityTable>},
};

// Entity texts of the table, cut at every length, and near misses.
std::vector<std::string> Fragments(const EntityRow* table)
{
    std::vector<std::string> fragments = {"&amp", "&AMP;", "&#233;", "&nbsp;", "&", ";", "&;", "&&", "a", " "};
    for (const EntityRow* row = table; row->m_text != nullptr; ++row) {
        const std::string text = row->m_text;
        for (size_t length = 1; length <= text.size(); ++length) {
            fragments.push_back(text.substr(0, length));
        }
    }
    return fragments;
}

std::string Join(const std::vector<std::string>& fragments, const std::string& separator)
{
    std::string line;
    for (const std::string& fragment : fragments) {
        line += fragment + separator;
    }
    return line;
}

// Every row of both tables, both ways, against values the test does not share
// with the code: the byte of each entity as Python's html.entities gives it
// (name2codepoint; the XML five from html5), pasted here once. The one
// departure from HTML: "&frasl;" is the ASCII solidus, not U+2044.
struct ExpectedEntity {
    unsigned char code;
    const char* text;
};

const ExpectedEntity kExpectedHtml[] = {
    {0x22, "&quot;"},   {0x26, "&amp;"},    {0x2F, "&frasl;"},  {0x3C, "&lt;"},     {0x3E, "&gt;"},
    {0xA1, "&iexcl;"},  {0xA2, "&cent;"},   {0xA3, "&pound;"},  {0xA4, "&curren;"}, {0xA5, "&yen;"},
    {0xA7, "&sect;"},   {0xA9, "&copy;"},   {0xAA, "&ordf;"},   {0xAB, "&laquo;"},  {0xB0, "&deg;"},
    {0xB1, "&plusmn;"}, {0xB2, "&sup2;"},   {0xB5, "&micro;"},  {0xB6, "&para;"},   {0xBA, "&ordm;"},
    {0xBB, "&raquo;"},  {0xBC, "&frac14;"}, {0xBD, "&frac12;"}, {0xBF, "&iquest;"}, {0xC0, "&Agrave;"},
    {0xC1, "&Aacute;"}, {0xC2, "&Acirc;"},  {0xC3, "&Atilde;"}, {0xC4, "&Auml;"},   {0xC5, "&Aring;"},
    {0xC6, "&AElig;"},  {0xC7, "&Ccedil;"}, {0xC8, "&Egrave;"}, {0xC9, "&Eacute;"}, {0xCA, "&Ecirc;"},
    {0xCB, "&Euml;"},   {0xCC, "&Igrave;"}, {0xCD, "&Iacute;"}, {0xCE, "&Icirc;"},  {0xCF, "&Iuml;"},
    {0xD0, "&ETH;"},    {0xD1, "&Ntilde;"}, {0xD2, "&Ograve;"}, {0xD3, "&Oacute;"}, {0xD4, "&Ocirc;"},
    {0xD5, "&Otilde;"}, {0xD6, "&Ouml;"},   {0xD7, "&times;"},  {0xD8, "&Oslash;"}, {0xD9, "&Ugrave;"},
    {0xDA, "&Uacute;"}, {0xDB, "&Ucirc;"},  {0xDC, "&Uuml;"},   {0xDD, "&Yacute;"}, {0xDE, "&THORN;"},
    {0xDF, "&szlig;"},  {0xE0, "&agrave;"}, {0xE1, "&aacute;"}, {0xE2, "&acirc;"},  {0xE3, "&atilde;"},
    {0xE4, "&auml;"},   {0xE5, "&aring;"},  {0xE6, "&aelig;"},  {0xE7, "&ccedil;"}, {0xE8, "&egrave;"},
    {0xE9, "&eacute;"}, {0xEA, "&ecirc;"},  {0xEB, "&euml;"},   {0xEC, "&igrave;"}, {0xED, "&iacute;"},
    {0xEE, "&icirc;"},  {0xEF, "&iuml;"},   {0xF0, "&eth;"},    {0xF1, "&ntilde;"}, {0xF2, "&ograve;"},
    {0xF3, "&oacute;"}, {0xF4, "&ocirc;"},  {0xF5, "&otilde;"}, {0xF6, "&ouml;"},   {0xF7, "&divide;"},
    {0xF8, "&oslash;"}, {0xF9, "&ugrave;"}, {0xFA, "&uacute;"}, {0xFB, "&ucirc;"},  {0xFC, "&uuml;"},
    {0xFD, "&yacute;"}, {0xFE, "&thorn;"},  {0xFF, "&yuml;"},
};

const ExpectedEntity kExpectedXml[] = {
    {0x22, "&quot;"}, {0x26, "&amp;"}, {0x27, "&apos;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"},
};

TEST_P(Entities, EveryRowBothWaysAgainstWrittenValues)
{
    struct Expected {
        const char* name;
        ConvertFn encode, decode;
        const ExpectedEntity* rows;
        size_t count;
    };
    const Expected kTables[] = {
        {"html", At(EncodeHtmlEntities), At(DecodeHtmlEntities), kExpectedHtml, std::size(kExpectedHtml)},
        {"xml", At(EncodeXmlEntities), At(DecodeXmlEntities), kExpectedXml, std::size(kExpectedXml)},
    };
    for (const Expected& t : kTables) {
        SCOPED_TRACE(t.name);
        std::string entityFor[256];
        for (size_t i = 0; i < t.count; ++i) {
            entityFor[t.rows[i].code] = t.rows[i].text;
            SCOPED_TRACE(t.rows[i].text);
            EXPECT_EQ(ConvertLine(At(t.decode), t.rows[i].text), std::string(1, char(t.rows[i].code)));
        }
        // Every byte, so that a row the list lacks shows as well as a wrong one.
        for (int b = 0; b < 256; ++b) {
            const std::string byte(1, static_cast<char>(b));
            const std::string expected = entityFor[b].empty() ? byte : entityFor[b];
            EXPECT_EQ(ConvertLine(At(t.encode), byte), expected) << "byte " << b;
        }
    }
    EXPECT_EQ(std::size(kExpectedHtml), kHtmlEntityCount);
    EXPECT_EQ(std::size(kExpectedXml), kXmlEntityCount);
}

TEST_P(Entities, EdgeCases)
{
    struct Case {
        const char* name;
        ConvertFn convert;
        std::string in, out;
    };
    const Case kCases[] = {
        {"html encode", At(EncodeHtmlEntities), "a<b & c>d", "a&lt;b &amp; c&gt;d"},
        {"html decode", At(DecodeHtmlEntities), "a&lt;b &amp; c&gt;d", "a<b & c>d"},
        {"solidus html", At(EncodeHtmlEntities), "/", "&frasl;"},
        {"solidus xml", At(EncodeXmlEntities), "/", "/"},
        {"frasl html", At(DecodeHtmlEntities), "&frasl;", "/"},
        {"frasl xml", At(DecodeXmlEntities), "&frasl;", "&frasl;"},
        {"apostrophe html", At(EncodeHtmlEntities), "'", "'"},
        {"apostrophe xml", At(EncodeXmlEntities), "'", "&apos;"},
        {"apos html", At(DecodeHtmlEntities), "&apos;", "&apos;"},
        {"apos xml", At(DecodeXmlEntities), "&apos;", "'"},
        {"latin letters", At(EncodeHtmlEntities), "\xE9\xC9\xD7\xF7", "&eacute;&Eacute;&times;&divide;"},
        {"high bytes without a row", At(EncodeHtmlEntities), "\x80\x9F\xA0\xAD\xBE", "\x80\x9F\xA0\xAD\xBE"},
        {"high bytes xml", At(EncodeXmlEntities), "\xE9\xFF", "\xE9\xFF"},
        {"case matters", At(DecodeHtmlEntities), "&eacute;&Eacute;&AMP;", "\xE9\xC9&AMP;"},
        {"case matters xml", At(DecodeXmlEntities), "&AMP;&Lt;", "&AMP;&Lt;"},
        {"not idempotent", At(EncodeHtmlEntities), "&lt;", "&amp;lt;"},
        {"single pass", At(DecodeHtmlEntities), "&amp;lt;", "&lt;"},
        {"no semicolon", At(DecodeHtmlEntities), "&amp &lt", "&amp &lt"},
        {"numeric reference", At(DecodeHtmlEntities), "&#233;&#xE9;", "&#233;&#xE9;"},
        {"code without a row", At(DecodeHtmlEntities), "&nbsp;", "&nbsp;"},
        {"partial at line end", At(DecodeHtmlEntities), "x&eacute", "x&eacute"},
        // Only the second ampersand starts a text.
        {"ampersand before entity", At(DecodeHtmlEntities), "&&amp;", "&&"},
        {"entity cut by a line feed", At(DecodeXmlEntities), "&am\np;", "&am\np;"},
        // The terminator row has code 0, yet a NUL byte has no entity.
        {"nul byte", At(EncodeHtmlEntities), std::string("a\0b", 3), std::string("a\0b", 3)},
        {"high bytes pass decoder", At(DecodeHtmlEntities), "\xE9&\xFF;", "\xE9&\xFF;"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ExpectConverts(c.convert, c.in, c.out);
    }
}

// Exactly the codes the table leaves out pass the HTML encoder unchanged.
TEST_P(Entities, HtmlCodesWithoutRow)
{
    const std::string noRow = "\xA0\xA6\xA8\xAC\xAD\xAE\xAF\xB3\xB4\xB7\xB8\xB9\xBE";
    for (int value = 1; value < 256; ++value) {
        const std::string byte(1, static_cast<char>(value));
        const bool hasRow = std::string("&\"/<>").find(byte) != std::string::npos ||
                            (value >= 0xA1 && noRow.find(byte) == std::string::npos);
        EXPECT_EQ(ConvertLine(At(EncodeHtmlEntities), byte) != byte, hasRow) << "byte " << value;
    }
}

TEST_P(Entities, ChunkSizes)
{
    // A longest piece of accents: each byte one 8-byte "&eacute;".
    const uint32_t entity = sizeof("&eacute;") - 1;
    const uint32_t perChunk = FullChunkOf(entity) / entity;
    const std::vector<Chunk> encoded =
        ConvertChunks(At(EncodeHtmlEntities), std::string(kLongestPiece, '\xE9'), LINE_BUF_SIZE);
    ASSERT_EQ(encoded.size(), (kLongestPiece + perChunk - 1) / perChunk);
    EXPECT_EQ(encoded[0].consumed, perChunk);
    size_t total = 0;
    for (const Chunk& chunk : encoded) {
        EXPECT_TRUE(&chunk == &encoded.back() || chunk.output.size() >= kFullChunk);
        total += chunk.output.size();
    }
    EXPECT_EQ(encoded[0].output.size(), FullChunkOf(entity));
    EXPECT_EQ(total, size_t{kLongestPiece} * entity);

    for (const Converters& pair : kBoth) {
        SCOPED_TRACE(pair.name);
        const std::vector<Chunk> decoded =
            ConvertChunks(At(pair.decode), std::string(kLongestPiece, 'a'), LINE_BUF_SIZE);
        ASSERT_EQ(decoded.size(), 2u);
        EXPECT_EQ(decoded[0].output.size(), kFullChunk);
        EXPECT_EQ(decoded[1].output.size(), kLongestPiece - kFullChunk);
    }
}

TEST_P(Entities, CapacityWithoutRoom)
{
    for (const Converters& pair : kBoth) {
        ExpectNoStepWithoutRoom(At(pair.encode), std::string(40, '<'));
        ExpectNoStepWithoutRoom(At(pair.decode), std::string(40, '&'));
    }
}

TEST_P(Entities, RoundTrip)
{
    std::mt19937 random(7);
    for (const Converters& pair : kBoth) {
        SCOPED_TRACE(pair.name);
        const std::string bytes = AllByteValues() + Join(Fragments(pair.table), "");
        EXPECT_EQ(ConvertLine(At(pair.decode), ConvertLine(At(pair.encode), bytes)), bytes);
        for (int i = 0; i < 50; ++i) {
            const std::string line = RandomLine(random, Fragments(pair.table), 100);
            EXPECT_EQ(ConvertLine(At(pair.decode), ConvertLine(At(pair.encode), line)), line);
        }
    }
}

TEST_P(Entities, MatchRowByRowScan)
{
    std::mt19937 random(11);
    for (const Converters& pair : kBoth) {
        SCOPED_TRACE(pair.name);
        const std::vector<std::string> fragments = Fragments(pair.table);
        const std::string lines[] = {AllByteValues() + AllByteValues(), ConvertLine(At(pair.encode), AllByteValues())};
        for (const std::string& line : lines) {
            ExpectSameChunks(At(pair.encode), pair.referenceEncode, line);
            ExpectSameChunks(At(pair.decode), pair.referenceDecode, line);
        }
        for (const std::string& line : {Join(fragments, ""), Join(fragments, "x")}) {
            ExpectSameChunks(At(pair.encode), pair.referenceEncode, line, 300);
            ExpectSameChunks(At(pair.decode), pair.referenceDecode, line, 300);
        }
        // Every partial text at the very end of a line.
        for (const std::string& fragment : fragments) {
            ExpectSameChunks(At(pair.decode), pair.referenceDecode, "0123456789abcdef" + fragment, kSmallCapacity);
        }
        for (int i = 0; i < 40; ++i) {
            const std::string line = RandomLine(random, fragments, 60);
            ExpectSameChunks(At(pair.encode), pair.referenceEncode, line, kSmallCapacity);
            ExpectSameChunks(At(pair.decode), pair.referenceDecode, line, kSmallCapacity);
        }
        const std::string longLine = RandomLine(random, fragments, kLongestPiece).substr(0, kLongestPiece);
        ExpectSameChunks(At(pair.encode), pair.referenceEncode, longLine, 40);
        ExpectSameChunks(At(pair.decode), pair.referenceDecode, longLine, 40);
    }
}

TEST_P(Entities, Holdback)
{
    struct Case {
        const char* name;
        std::string piece;
        uint32_t holdback;
    };
    const Case kCases[] = {
        {"none", "abc;", 0},
        {"ampersand last", "ab&", 1},
        {"last of two", "&a&am", 3},
        {"seven back", "x&abcdef", 7},
        // A text starting eight back ends inside the piece.
        {"eight back", "&abcdefg", 0},
        {"short piece", "&", 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EntityDecodeHoldback(reinterpret_cast<const unsigned char*>(c.piece.data()),
                                       static_cast<uint32_t>(c.piece.size())),
                  c.holdback);
    }
    for (const Converters& pair : kBoth) {
        SCOPED_TRACE(pair.name);
        ExpectHoldbackExact(At(pair.decode), EntityDecodeHoldback, Join(Fragments(pair.table), "&"));
    }
}

}  // namespace
