// The 16-byte block paths of the reader, the line-end converters, the code-page
// step and the entity decoder against plain byte-by-byte references: every
// length from 0 to 80 at every alignment, so that each special byte lands on
// every lane of a block, at a block's edge and in the scalar tail.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/convert_test_util.h"
#include "tests/memory_streams.h"
#include "tool/codepage.h"
#include "tool/entities.h"
#include "tool/lineends.h"
#include "tool/textreader.h"

namespace {

constexpr size_t kLongest = 80;
constexpr size_t kAlignments = 16;

// Text over a small alphabet: `special` bytes at about one place in `odds`.
std::string RandomText(std::mt19937& random, size_t length, const std::string& special, unsigned odds)
{
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += random() % odds == 0 ? special[random() % special.size()] : static_cast<char>('a' + random() % 26);
    }
    return text;
}

// Runs `check` on texts of every length and behind every alignment prefix.
template <typename Check>
void ForEveryLengthAndAlignment(const std::string& special, unsigned odds, Check check)
{
    std::mt19937 random(11);
    for (size_t length = 0; length <= kLongest; ++length) {
        for (size_t align = 0; align < kAlignments; ++align) {
            const std::string text = std::string(align, 'x') + RandomText(random, length, special, odds);
            SCOPED_TRACE("length " + std::to_string(length) + " alignment " + std::to_string(align));
            check(text);
        }
    }
}

std::string ReadAll(const std::string& raw, size_t readSize)
{
    CMemorySource source(raw);
    CTextReader reader(source, readSize);
    std::string text;
    ByteSpan run;
    bool endsLine = false;
    while (reader.NextRun(run, endsLine) == ReadStatus::Data) {
        text.append(reinterpret_cast<const char*>(run.data), run.size);
    }
    return text;
}

struct ReaderCase {
    const char* name;
    std::string special;
    unsigned odds;
};

const ReaderCase kReaderCases[] = {
    {"crlf pairs", "\r\n", 3},  // pairs, but also lone CRs and CR CR LF
    {"one pair a block", "\n", 20},
    {"crlf text", "\r", 4},  // lone CRs only
    {"ctrl-z", "\r\n\x1a", 8},
    {"dense", "\r\n\r\n\r\n\x1a", 1},
};

TEST(BlockPaths, ReaderTranslatesLikeTheReference)
{
    for (const ReaderCase& c : kReaderCases) {
        SCOPED_TRACE(c.name);
        ForEveryLengthAndAlignment(c.special, c.odds, [](const std::string& raw) {
            std::string paired = raw;
            // Mostly real pairs: every LF after a letter gets its CR.
            for (size_t i = paired.find('\n'); i != std::string::npos; i = paired.find('\n', i + 2)) {
                paired.insert(i, "\r");
            }
            for (const std::string& text : {raw, paired}) {
                for (size_t readSize : {size_t{4096}, size_t{17}, size_t{33}}) {
                    ASSERT_EQ(ReadAll(text, readSize), TextModeReference(text)) << "read size " << readSize;
                }
            }
        });
    }
}

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

TEST(BlockPaths, LineEndsConvertLikeTheReference)
{
    for (const LineEndCase& c : kLineEndCases) {
        SCOPED_TRACE(c.name);
        for (unsigned odds : {1u, 3u, 20u}) {
            ForEveryLengthAndAlignment("\r\n\n", odds, [&c](const std::string& text) {
                const std::string expected = ReferenceLineEnds(text, c.option);
                for (uint32_t capacity : {uint32_t{40}, uint32_t{97}, LINE_BUF_SIZE}) {
                    ASSERT_EQ(ConvertLine(c.convert, text, capacity), expected) << "capacity " << capacity;
                }
            });
        }
    }
}

TEST(BlockPaths, ByteMapMapsEveryByteLikeTheTable)
{
    unsigned char table[256];
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<unsigned char>(b < 0x80 ? b : 0xFF - (b - 0x80));
    }
    const CByteMap map(table);
    std::mt19937 random(5);
    for (size_t length = 0; length <= 2 * kLongest; ++length) {
        for (size_t align = 0; align < kAlignments; ++align) {
            std::vector<unsigned char> bytes(align + length);
            for (unsigned char& b : bytes) {
                // Mostly ASCII, so that whole chunks are skipped as well.
                b = static_cast<unsigned char>(random() % 8 == 0 ? random() % 256 : random() % 128);
            }
            std::vector<unsigned char> expected = bytes;
            MapHighBytes(table, expected.data() + align, static_cast<uint32_t>(length));
            map.Apply(bytes.data() + align, static_cast<uint32_t>(length));
            ASSERT_EQ(bytes, expected) << "length " << length << " alignment " << align;
        }
    }
}

// Every entity text, cut short, without its ';', and whole, at every place
// before the end of the line: the eight-byte steps need eight bytes from the
// '&' on, and a line's last seven bytes go the careful way.
TEST(BlockPaths, EntityDecodingNearTheEndOfTheLine)
{
    for (const EntityRow* row = HtmlEntityTable; row->m_text != nullptr; ++row) {
        const std::string entity = row->m_text;
        for (const std::string& text : {entity, entity.substr(0, entity.size() - 1), entity + "&", "&" + entity}) {
            for (size_t before = 0; before < kAlignments + 2; ++before) {
                for (size_t after = 0; after <= 9; ++after) {
                    const std::string line = std::string(before, 'a') + text + std::string(after, ';');
                    std::string expected = line;
                    for (size_t at = expected.find(entity); at != std::string::npos; at = expected.find(entity, at + 1)) {
                        expected.replace(at, entity.size(), 1, static_cast<char>(row->m_code));
                    }
                    ASSERT_EQ(ConvertLine(DecodeHtmlEntities, line), expected) << line;
                }
            }
        }
    }
}

}  // namespace
