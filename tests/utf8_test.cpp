#include "convert/utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/convert_test_util.h"
#include "tests/support/simd_levels.h"

// Every test of this file runs once per instruction-set level.
class Utf8 : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(Utf8);

namespace {

struct Case {
    const char* name;
    std::string utf8;
    std::string oem;  // page 437
};

// What wine's MultiByteToWideChar(CP_UTF8) and WideCharToMultiByte(437), both
// with default flags, make of each: one '?' per invalid part, where Windows
// reads a lead byte and the continuation bytes up to the first that is out of
// range as one part (E0 80 80 is two, not three). The rows but the last end
// in ASCII: at the very end of its buffer Windows also swallows the ASCII
// bytes that a lead byte promised as continuations, which a filter cannot
// see coming.
const Case kCases[] = {
    {"ascii and nul", std::string("a\0b\x7f", 4), std::string("a\0b\x7f", 4)},
    {"in the page", "\xc3\xa9\xe2\x94\x80\xc2\xa0.", "\x82\xc4\xff."},
    {"best fit", "\xc2\xa9\xef\xbc\xa1\xc4\x80.", "cAA."},
    {"lacking", "\xef\xbb\xbf\xef\xbf\xbd\xe0\xa0\x80\xed\x9f\xbf\xef\xbf\xbf.", "?????."},
    {"above U+FFFF: two halves", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf\xf0\x90\x80\x80.", "??????."},
    {"stray continuation",
     "a\x80\xbf"
     "b",
     "a??b"},
    {"lead never valid", "\xc0\x80\xc1\xbf\xf5\x80\xff\xfe.", "????????."},
    {"overlong 3 and 4 bytes", "\xe0\x80\x80\xe0\x9f\xbf\xf0\x80\x80\x80\xf0\x8f\xbf\xbf.", "??????????."},
    {"surrogate", "\xed\xa0\x80\xed\xbf\xbf.", "????."},
    {"above U+10FFFF", "\xf4\x90\x80\x80.", "???."},
    {"cut short by ascii",
     "\xc2"
     "a\xe2\x82"
     "b\xf0\x9f\x98"
     "c\xe0\x80"
     "d",
     "?a?b?c?d"},
    {"cut short by a lead", "\xe2\xc2\xa9\xc2\xc2\xa9\xe2\x82\xe2\x82\xac.", "?c?c??."},
    {"a line end inside", "\xe2\x82\n\xc3\n", "?\n?\n"},
    // Where the text ends (this row's first copy alone), as long as nothing
    // but continuation bytes follow the lead.
    {"cut by the end", "a\xf0\x9f\x98", "a?"},
};

TEST_P(Utf8, ToOemAsWindows)
{
    const Converter toOem = Utf8ToOemConverter(437, codepages::Unmapped::kWindows, GetParam());
    ASSERT_TRUE(toOem);
    EXPECT_EQ(At(Utf8ToOemConverter(437)), toOem) << "AtLevel gives the level's kernel, the page kept";
    EXPECT_EQ(At(OemToUtf8Converter(866)), OemToUtf8Converter(866, GetParam()));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ExpectConverts(toOem, c.utf8, c.oem);
        ExpectHoldbackExact(toOem, Utf8Holdback, c.utf8 + c.utf8);
    }
}

// The bytes Windows gives the pages are held to it elsewhere, every byte and
// character (codepage_test.cpp, windows_codepage_test.cpp); here the cases
// of the contract and the holdback's reach.
TEST_P(Utf8, OnlyOemPagesAndEveryCallMakesRoom)
{
    EXPECT_FALSE(OemToUtf8Converter(1252)) << "an ANSI page";
    EXPECT_FALSE(Utf8ToOemConverter(932)) << "a double-byte page";
    ExpectConverts(OemToUtf8Converter(866), "\x80\xef\xfc", "\xd0\x90\xd1\x8f\xe2\x84\x96");
    ExpectNoStepWithoutRoom(OemToUtf8Converter(437), "\xc4");
    ExpectNoStepWithoutRoom(Utf8ToOemConverter(437), "\xe2\x94\x80");
    const std::pair<std::string, uint32_t> kPieces[] = {{"a\xc3", 1},
                                                        {"a\xe2\x94", 2},
                                                        {"\xf0\x9f\x98", 3},
                                                        {"\xf0\x9f\x98\x80", 0},
                                                        {"\xe2"
                                                         "a",
                                                         0},
                                                        {"\xc0", 0}};
    for (const auto& [piece, kept] : kPieces) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(piece.data());
        EXPECT_EQ(Utf8Holdback(bytes, static_cast<uint32_t>(piece.size())), kept) << ::testing::PrintToString(piece);
        EXPECT_FALSE(HasNoHighByte(bytes, static_cast<uint32_t>(piece.size())));
    }
    const std::string ascii(100, 'a');
    const std::string high = "\x80" + ascii;
    EXPECT_TRUE(HasNoHighByte(reinterpret_cast<const unsigned char*>(ascii.data()), 100));
    EXPECT_FALSE(HasNoHighByte(reinterpret_cast<const unsigned char*>(high.data()), 100));
}

}  // namespace
