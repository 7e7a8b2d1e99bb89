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
// range as one part (E0 80 80 is two, not three). Every row ends in ASCII:
// at the very end of its buffer Windows also swallows the ASCII bytes that a
// lead byte promised as continuations, which a filter cannot see coming.
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
};

TEST_P(Utf8, ToOemAsWindows)
{
    const ConvertFn toOem = Utf8ToOemConverter(437);
    ASSERT_NE(toOem, nullptr);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ExpectConverts(toOem, c.utf8, c.oem);
        ExpectHoldbackExact(toOem, Utf8Holdback, c.utf8 + c.utf8);
    }
}

// Text the reader ends with a cut sequence (the end of the input): each
// invalid part still one '?', as long as nothing but continuation bytes follow.
TEST_P(Utf8, CutByTheEndOfTheText)
{
    const ConvertFn toOem = Utf8ToOemConverter(437);
    for (const char* cut : {"\xc2", "\xe2\x82", "\xf0\x9f\x98", "\xe0\x80", "\xf4"}) {
        SCOPED_TRACE(cut);
        ExpectConverts(toOem, std::string("a") + cut, "a?");
    }
}

TEST_P(Utf8, ToUtf8AndBack)
{
    struct Page {
        uint16_t page;
        std::string oem, utf8;
    };
    const Page kPages[] = {
        {437, "\x80\xc4\xe1\xff\x7f\x1f", "\xc3\x87\xe2\x94\x80\xc3\x9f\xc2\xa0\x7f\x1f"},
        {866, "\x80\xef\xfc", "\xd0\x90\xd1\x8f\xe2\x84\x96"},
        {720, "\x80\x81", "\xc2\x80\xc2\x81"},  // control bytes stay controls
        {874, "\xa1\xdf", "\xe0\xb8\x81\xe0\xb8\xbf"},
    };
    for (const Page& p : kPages) {
        SCOPED_TRACE(p.page);
        ExpectConverts(OemToUtf8Converter(p.page), p.oem, p.utf8);
        ExpectConverts(Utf8ToOemConverter(p.page), p.utf8, p.oem);
    }
    EXPECT_EQ(OemToUtf8Converter(1252), nullptr) << "an ANSI page";
    EXPECT_EQ(Utf8ToOemConverter(932), nullptr) << "a double-byte page";
    ExpectNoStepWithoutRoom(OemToUtf8Converter(437), "\xc4");
    ExpectNoStepWithoutRoom(Utf8ToOemConverter(437), "\xe2\x94\x80");
}

TEST(Utf8Holdback, KeepsOnlyACutSequence)
{
    const struct {
        std::string piece;
        uint32_t kept;
    } kPieces[] = {
        {"ab", 0},
        {"a\xc3", 1},
        {"a\xc3\xa9", 0},
        {"a\xe2\x94", 2},
        {"\xe2\x94\x80", 0},
        {"\xf0\x9f\x98", 3},
        {"\xf0\x9f\x98\x80", 0},
        {"\xe2"
         "a",
         0},
        {"\x80\x80\x80", 0},
        {"\xff", 0},
        {"\xc0", 0},
        {"", 0},
    };
    for (const auto& p : kPieces) {
        EXPECT_EQ(
            Utf8Holdback(reinterpret_cast<const unsigned char*>(p.piece.data()), static_cast<uint32_t>(p.piece.size())),
            p.kept)
            << ::testing::PrintToString(p.piece);
    }
    const std::string ascii(100, 'a');
    EXPECT_TRUE(HasNoHighByte(reinterpret_cast<const unsigned char*>(ascii.data()), 100));
    for (size_t at : {size_t{0}, size_t{63}, size_t{64}, size_t{99}}) {
        std::string text = ascii;
        text[at] = '\x80';
        EXPECT_FALSE(HasNoHighByte(reinterpret_cast<const unsigned char*>(text.data()), 100)) << at;
    }
}

}  // namespace
