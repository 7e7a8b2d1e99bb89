// The block paths of the kernels (line ends, the byte map, the text-mode
// rules, the entity and URI converters) against plain byte-by-byte references
// and against the portable level: every length up to a few blocks at every
// alignment, so that each special byte lands on every lane of a block, at a
// block's edge and in the scalar tail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "convert/atlevel.h"
#include "convert/bytemap.h"
#include "convert/bytescan.h"
#include "convert/entities.h"
#include "convert/kernels/entity_tables.h"
#include "convert/lineends.h"
#include "convert/simd.h"
#include "convert/textmode.h"
#include "convert/uri.h"
#include "convert/utf8.h"
#include "tests/support/convert_test_util.h"
#include "tests/support/guarded_buffer.h"
#include "tests/support/simd_levels.h"

// The tests of this fixture run once per instruction-set level.
class BlockPaths : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(BlockPaths);

namespace {

std::string ReferenceLineEnds(const std::string& in, char option)
{
    std::string out;
    for (char c : in) {
        if (option == 'u' && c != '\r') {
            out += c;
        } else if (option == 'w' && c == '\n') {
            out += "\r\n";
        } else if (option == 'w' && c != '\r') {
            out += c;
        } else if (option == 'm') {
            out += c == '\n' ? '\r' : c;
        }
    }
    return out;
}

struct LineEndCase {
    const char* name;
    ConvertFn convert;
    char option;
};

const LineEndCase kLineEndCases[] = {
    {"unix", ToUnixLineEnds, 'u'},
    {"windows", ToWindowsLineEnds, 'w'},
    {"mac", ToMacLineEnds, 'm'},
};

TEST_P(BlockPaths, LineEndsConvertLikeTheReference)
{
    for (const LineEndCase& c : kLineEndCases) {
        SCOPED_TRACE(c.name);
        for (unsigned odds : {1u, 3u, 20u}) {
            ForEveryLengthAndAlignment("\r\n\n", odds, [&c, this](const std::string& text) {
                const std::string expected = ReferenceLineEnds(text, c.option);
                for (uint32_t capacity : {uint32_t{40}, uint32_t{97}, LINE_BUF_SIZE}) {
                    ASSERT_EQ(ConvertLine(At(c.convert), text, capacity), expected) << "capacity " << capacity;
                }
            });
        }
    }
}

TEST_P(BlockPaths, LineFeedsAreCountedOneByOne)
{
    const auto count = kernels::ForLevel(GetParam()).m_countLineFeeds;
    const auto counted = [count](const std::string& text) {
        return count(reinterpret_cast<const unsigned char*>(text.data()), static_cast<uint32_t>(text.size()));
    };
    ForEveryLengthAndAlignment("\n\r", 2, [&counted](const std::string& text) {
        ASSERT_EQ(counted(text), static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n')));
    });
    // More LFs in each lane than a byte counts.
    const std::string lineFeeds(64 * 300 + 5, '\n');
    EXPECT_EQ(counted(lineFeeds), lineFeeds.size());
}

TEST_P(BlockPaths, ByteMapMapsEveryByteLikeTheTable)
{
    unsigned char table[256];
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<unsigned char>(b < 0x80 ? b : 0xFF - (b - 0x80));
    }
    table[0xA4] = table[0xFE] = '?';  // losses, where ApplyUntilLoss stops
    unsigned char given[256];
    std::memcpy(given, table, sizeof given);
    const CByteMap map(given, GetParam());
    // The map keeps its own copy: the caller's table may go.
    std::memset(given + 0x80, 0, 0x80);
    const auto mapOneByOne = [&table](std::vector<unsigned char>& bytes, size_t from) {
        for (size_t i = from; i < bytes.size(); ++i) {
            bytes[i] = table[bytes[i]];
        }
    };
    std::vector<size_t> lengths(2 * kLongest + 1);
    std::iota(lengths.begin(), lengths.end(), 0);
    lengths.insert(lengths.end(), {255, 256, 257, 300, 511, 1024, 4099});  // blocks of several chunks
    std::mt19937 random(5);
    for (const size_t length : lengths) {
        for (size_t align = 0; align < kAlignments; ++align) {
            std::vector<unsigned char> bytes(align + length);
            for (unsigned char& b : bytes) {
                // Mostly ASCII, so that whole chunks are skipped as well.
                b = static_cast<unsigned char>(random() % 8 == 0 ? random() % 256 : random() % 128);
            }
            size_t loss = align;
            while (loss < bytes.size() && !(bytes[loss] >= 0x80 && table[bytes[loss]] < 0x80)) {
                ++loss;
            }
            const std::vector<unsigned char> original = bytes;
            std::vector<unsigned char> untilLoss = bytes;
            uint64_t lineFeeds = 1;
            const uint32_t mapped =
                map.ApplyUntilLoss(untilLoss.data() + align, static_cast<uint32_t>(length), &lineFeeds);
            std::vector<unsigned char> expected = bytes;
            mapOneByOne(expected, align);
            map.Apply(bytes.data() + align, static_cast<uint32_t>(length));
            ASSERT_EQ(bytes, expected) << "length " << length << " alignment " << align;
            ASSERT_EQ(mapped, loss - align) << "length " << length << " alignment " << align;
            const auto from = original.begin() + static_cast<ptrdiff_t>(align);
            ASSERT_EQ(lineFeeds, 1 + static_cast<uint64_t>(std::count(from, from + mapped, '\n'))) << length;
            // Mapped before the loss; the loss and what follows as they were.
            std::vector<unsigned char> wanted(expected.begin(), expected.begin() + static_cast<ptrdiff_t>(loss));
            wanted.insert(wanted.end(), original.begin() + static_cast<ptrdiff_t>(loss), original.end());
            ASSERT_EQ(untilLoss, wanted) << "length " << length << " alignment " << align;
        }
    }
}

// The kernels leave bytes below 0x80 as they are: a table that maps one of
// them is refused where assertions are compiled in.
TEST(ByteMap, RefusesATableThatMapsAnAsciiByte)
{
#if defined(NDEBUG)
    GTEST_SKIP() << "assertions are compiled out of this build";
#endif
    unsigned char table[256];
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<unsigned char>(b == 'a' ? 'b' : b);
    }
    EXPECT_DEATH(CByteMap{table}, "LowerHalfIsIdentity");
}

// The eight-byte loads give the first byte in the low bits on every host, at
// every alignment: a big-endian host that did not swap (or a little-endian one
// that did) gives another number, and the entity decoder would miss its keys.
TEST(ByteOrder, LittleEndianLoadsGiveTheSameNumberOnEveryHost)
{
    struct Case {
        const char* bytes;
        uint64_t value;
    };
    const Case kCases[] = {
        {"abcdefgh", 0x6867666564636261u},
        {"\x01\x00\x00\x00\x00\x00\x00\x00", 0x0000000000000001u},
        {"\x00\x00\x00\x00\x00\x00\x00\x80", 0x8000000000000000u},
        {"&eacute;", 0x3B65747563616526u},
        {"&lt;\xFF\xFE\x00\x7F", 0x7F00FEFF3B746C26u},
    };
    for (const Case& c : kCases) {
        for (size_t align = 0; align < kAlignments; ++align) {
            std::vector<unsigned char> buffer(align + 8, 0xAA);
            std::memcpy(buffer.data() + align, c.bytes, 8);
            EXPECT_EQ(bytescan::LoadLittleEndian64(buffer.data() + align), c.value)
                << "case " << (&c - kCases) << " at alignment " << align;
        }
    }
}

// The text-mode rules byte by byte, from the start of `text`.
TextModeStop TextModeReference(const unsigned char* in, const unsigned char* end, unsigned char* out,
                               bool dropEveryCR = false)
{
    for (; in < end; ++in) {
        if (*in == 0x1A) {
            return {in, out, true, false};
        }
        if (dropEveryCR && *in == '\r') {
            continue;
        }
        if (*in == '\r' && in + 1 == end) {
            return {end, out, false, true};
        }
        if (*in != '\r' || in[1] != '\n') {
            *out++ = *in;
        }
    }
    return {in, out, false, false};
}

// The text-mode kernel on a buffer that ends where the text ends, at a guard
// page where the host has one: every length up to three chunks and a few
// bytes, translated in place and into the front of the buffer (the start
// then lands on every alignment too).
TEST_P(BlockPaths, TextModeReadsNothingPastTheEnd)
{
    if (!CGuardedBuffer::HasGuardPage()) {
        std::cout << "no mmap on this host: the buffer has no guard page\n";
    }
    constexpr size_t kMaxLength = 3 * 64 + 8;
    constexpr size_t kShifts[] = {0, 1, 15, 64};
    const CGuardedBuffer buffer(kMaxLength + 64);
    std::mt19937 random(17);
    for (const bool drop : {false, true}) {
        for (const char* special : {"\r\n", "\r", "\r\n\x1a"}) {
            for (size_t length = 0; length <= kMaxLength; ++length) {
                const std::string text = RandomText(random, length, special, 4);
                std::string expected(length, '\0');
                const auto* from = reinterpret_cast<const unsigned char*>(text.data());
                auto* to = reinterpret_cast<unsigned char*>(expected.data());
                const TextModeStop want = TextModeReference(from, from + length, to, drop);
                for (size_t shift : kShifts) {
                    unsigned char* const in = buffer.Tail(length);
                    std::memcpy(in, text.data(), length);
                    unsigned char* const out = in - shift;
                    const TextModeStop got = drop ? Kernels().m_translateTextModeDroppingCR(in, in + length, out)
                                                  : Kernels().m_translateTextMode(in, in + length, out);
                    const std::string where = "length " + std::to_string(length) + ", shift " + std::to_string(shift) +
                                              (drop ? ", every CR dropped" : "");
                    ASSERT_EQ(got.m_in - in, want.m_in - from) << where;
                    ASSERT_EQ(std::string(out, got.m_out), expected.substr(0, static_cast<size_t>(want.m_out - to)))
                        << where;
                    ASSERT_EQ(got.m_ctrlZ, want.m_ctrlZ) << where;
                    ASSERT_EQ(got.m_pendingCR, want.m_pendingCR) << where;
                }
            }
        }
    }
}

// Every entity text, cut short, without its ';', and whole, at every place
// before the end of the line: the eight-byte steps need eight bytes from the
// '&' on, and a line's last seven bytes go the careful way.
TEST_P(BlockPaths, EntityDecodingNearTheEndOfTheLine)
{
    for (const EntityRow* row = HtmlEntityTable; row->m_text != nullptr; ++row) {
        const std::string entity = row->m_text;
        for (const std::string& text : {entity, entity.substr(0, entity.size() - 1), entity + "&", "&" + entity}) {
            for (size_t before = 0; before < kAlignments + 2; ++before) {
                for (size_t after = 0; after <= 9; ++after) {
                    const std::string line = std::string(before, 'a') + text + std::string(after, ';');
                    std::string expected = line;
                    for (size_t at = expected.find(entity); at != std::string::npos;
                         at = expected.find(entity, at + 1)) {
                        expected.replace(at, entity.size(), 1, static_cast<char>(row->m_code));
                    }
                    ASSERT_EQ(ConvertLine(At(DecodeHtmlEntities), line), expected) << line;
                }
            }
        }
    }
}

}  // namespace

namespace {

struct ConverterCase {
    const char* name;
    Converter convert;
    std::string special;  // the bytes its steps and vector paths care about
    // For a decoder, the encoder its texts go through first, so that they
    // hold a match every few bytes rather than by chance.
    Converter encodeFirst = nullptr;
};

const ConverterCase kConverters[] = {
    {"-w", ToWindowsLineEnds, "\r\n"},
    {"-m", ToMacLineEnds, "\r\n"},
    {"-h", EncodeHtmlEntities, "&<>\"'\xe9\xff\x80"},
    {"-h-", DecodeHtmlEntities, "&;"},
    {"-x", EncodeXmlEntities, "&<>\"'\xe9"},
    {"-x-", DecodeXmlEntities, "&;"},
    {"-i", UriEncode, " %+\xe9~-"},
    {"-i-", UriDecode, "%4aF"},
    {"-h- dense", DecodeHtmlEntities, "&<>\"'\xe9\xff\x80;", EncodeHtmlEntities},
    {"-x- dense", DecodeXmlEntities, "&<>\"';", EncodeXmlEntities},
    {"-i- dense", UriDecode, " %+\xe9~;", UriEncode},
    {"-a 437:utf-8", OemToUtf8Converter(437), "\x80\xc4\xff\x1f"},
    // Random bytes of sequences: valid, cut and invalid ones.
    {"-a- utf-8:437", Utf8ToOemConverter(437), "\xe2\x94\x80\xc3\xa9\xf0\x9f\x98\xed\xbf\xe0\xa0"},
    {"-a- utf-8:866 dense", Utf8ToOemConverter(866), "\x80\xc4\xe9\xff", OemToUtf8Converter(866)},
};

// Texts that put the matches of each converter at every place of two chunks
// and a block on either side: a match alone in plain text at every offset,
// and random text of every density.
std::vector<std::string> TextsFor(const ConverterCase& c)
{
    // The UTF-8 ones: a valid sequence, an overlong one, a surrogate, one cut
    // short, a lead whose continuation is another lead.
    const std::string matches[] = {
        "&amp;",       "&eacute;", "&apos;", "%4a",          "%e9",          "%%41",         "\r\n",
        "\n",          "\r",       "\xe9",   "\xe2\x94\x80", "\xe0\x80\x80", "\xed\xa0\x80", "\xc3\xa9\xe2\x82",
        "\xc3\xd9\x9e"};
    std::vector<std::string> texts;
    for (const std::string& match : matches) {
        for (size_t at = 0; at < 2 * 64 + 20; ++at) {
            texts.push_back(std::string(at, 'a') + match + std::string(150 - at % 20, 'b'));
        }
    }
    std::mt19937 random(13);
    for (unsigned odds : {1u, 2u, 5u, 40u}) {
        for (size_t length = 0; length < 400; length += 7) {
            texts.push_back(RandomText(random, length, c.special, odds));
        }
    }
    // Every length around the two chunks the chunk paths need, behind prefixes
    // that put the chunks on every kind of alignment.
    for (unsigned odds : {1u, 3u, 60u}) {
        for (size_t length = 2 * 64 - 8; length <= 3 * 64 + 8; ++length) {
            for (size_t align : {size_t{0}, size_t{1}, size_t{7}, size_t{15}, size_t{31}, size_t{63}}) {
                texts.push_back(std::string(align, 'x') + RandomText(random, length, c.special, odds));
            }
        }
    }
    if (c.encodeFirst) {
        for (std::string& text : texts) {
            text = ConvertLine(c.encodeFirst, text);
        }
    }
    return texts;
}

}  // namespace

// Every converter at this level against the portable one, which the other
// tests hold against references: the same bytes and the same consumption at
// every capacity, including those that stop the vector paths early.
TEST_P(BlockPaths, EveryConverterMatchesThePortablePath)
{
    for (const ConverterCase& c : kConverters) {
        SCOPED_TRACE(c.name);
        for (const std::string& text : TextsFor(c)) {
            for (uint32_t capacity : {LINE_BUF_SIZE, uint32_t{300}, uint32_t{75}}) {
                const Converter portable = kernels::AtLevel(c.convert, simd::Level::kPortable);
                const std::vector<Chunk> expected = ConvertChunks(portable, text, capacity);
                ASSERT_EQ(ConvertChunks(At(c.convert), text, capacity), expected)
                    << "capacity " << capacity << ": " << text;
            }
        }
    }
}
