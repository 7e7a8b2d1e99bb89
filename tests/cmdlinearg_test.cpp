#include "cmdline/cmdlinearg.h"

#include <gtest/gtest.h>

#include <climits>

#include "cmdline/bytecase.h"

TEST(CCmdLineArgInt, ConversionWrapsAndNeverFails)
{
    struct Case {
        const char* name;
        const char* text;
        int value;
    };
    const Case kCases[] = {
        {"white space 09-0D and space", "\t\n\v\f\r 42", 42},
        {"0x1C is not white space",
         "\x1c"
         "42",
         0},
        {"nor is 0xA0",
         "\xa0"
         "42",
         0},
        {"minus", "-7", -7},
        {"two signs", "+-3", 0},
        {"two minus signs", "--3", 0},
        {"trailing text", "12abc", 12},
        {"empty", "", 0},
        {"max", "2147483647", INT_MAX},
        {"max plus one", "2147483648", INT_MIN},
        {"min", "-2147483648", INT_MIN},
        {"min minus one", "-2147483649", INT_MAX},
        {"2^32", "4294967296", 0},
        {"2^32 plus one", "4294967297", 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgInt arg("n", "", 99, 0);
        EXPECT_TRUE(arg.SetValue(c.text));
        EXPECT_EQ(arg.GetValue(), c.value);
        CCmdLineArgInt checked("n", "", 0, 0);  // validity converts the same way
        checked.AddChoice(c.value);
        EXPECT_TRUE(checked.IsValidValue(c.text));
    }
}

TEST(CCmdLineArg, Labels)
{
    CCmdLineArgString text("s", "", nullptr, 0);
    CCmdLineArgInt number("n", "", 0, 0);
    EXPECT_STREQ(text.GetChoicesLabel(), "");
    EXPECT_STREQ(number.GetChoicesLabel(), "");
    for (const char* choice : {"Red", "green", static_cast<const char*>(nullptr), "Red"}) {
        text.AddChoice(choice);
    }
    EXPECT_STREQ(text.GetChoicesLabel(), "{Red|green||Red}");  // case and duplicates kept
    for (const int choice : {10, -2, 10, 0, INT_MIN})
        number.AddChoice(choice);
    EXPECT_STREQ(number.GetChoicesLabel(), "{10|-2|10|0|-2147483648}");
    EXPECT_STREQ(number.GetChoicesLabel(), "{10|-2|10|0|-2147483648}");  // rebuilt, not appended

    CCmdLineArgToggle shown("t", "", false, true, 0), hidden("t", "", false, false, 0);
    EXPECT_STREQ(shown.GetChoicesLabel(), "{+|-}");
    EXPECT_STREQ(hidden.GetChoicesLabel(), "");
    EXPECT_STREQ(shown.GetTypeLabel(), "");
    EXPECT_STREQ(text.GetTypeLabel(), "<string>");
    EXPECT_STREQ(number.GetTypeLabel(), "<int>");
    EXPECT_TRUE(text.ExpectsValue() && number.ExpectsValue());
    EXPECT_FALSE(shown.ExpectsValue());
}

TEST(CCmdLineArg, AllowedValues)
{
    CCmdLineArgString colour("c", "", "", 0), open("o", "", "", 0);
    colour.AddChoice("Red");
    colour.AddChoice("green");
    colour.AddChoice("\xc9t\xe9");
    CCmdLineArgInt number("n", "", 0, 0), anyNumber("a", "", 0, 0);
    number.AddChoice(5);
    number.AddChoice(-3);
    struct Case {
        const char* name;
        const CCmdLineArg& arg;
        const char* text;
        bool valid;
    };
    const Case kCases[] = {
        {"upper", colour, "RED", true},
        {"mixed", colour, "GrEeN", true},
        {"prefix", colour, "re", false},
        {"trailing space", colour, "red ", false},
        {"longer", colour, "greens", false},
        {"empty", colour, "", false},
        {"only A-Z fold", colour, "\xc9T\xe9", true},
        {"0xE9 is not 0xC9", colour, "\xe9t\xe9", false},
        {"no choices", open, "", true},
        {"int with junk", number, " +5x", true},
        {"negative", number, "-3", true},
        {"no digits is 0", number, "abc", false},
        {"int without choices", anyNumber, "abc", true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.arg.IsValidValue(c.text), c.valid);
    }
}

TEST(CaseFolding, OnlyAsciiLettersFold)
{
    for (int a = 1; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            const bool sameLetter = (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
            const char left[] = {static_cast<char>(a), '\0'}, right[] = {static_cast<char>(b), '\0'};
            ASSERT_EQ(EqualsFolded(left, right), a == b || sameLetter) << a << " " << b;
        }
    }
}

TEST(CCmdLineArgToggle, Values)
{
    struct Case {
        const char* name;
        const char* text;
        bool valid, accepted, value;
    };
    const Case kCases[] = {
        {"empty is on", "", true, true, true},
        {"minus", "-", true, true, false},
        {"two signs", "+-", false, true, true},
        {"first byte only", "-12", false, true, false},
        {"refused keeps default", "on", false, false, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgToggle toggle("t", "", true, false, 0);
        EXPECT_EQ(toggle.IsValidValue(c.text), c.valid);
        EXPECT_EQ(toggle.SetValue(c.text), c.accepted);
        EXPECT_TRUE(toggle.IsGiven());  // even when refused
        EXPECT_EQ(toggle.GetValue(), c.value);
    }
}

TEST(CCmdLineArg, DefaultsUntilGiven)
{
    CCmdLineArgString text("s", "", "dflt", 0);
    CCmdLineArgInt number("n", "", -4, 0);
    EXPECT_STREQ(text.GetValue(), "dflt");
    EXPECT_EQ(number.GetValue(), -4);
    text.SetValue("");
    number.SetValue("x");
    EXPECT_STREQ(text.GetValue(), "");
    EXPECT_EQ(number.GetValue(), 0);
}

TEST(CCmdLineArg, OnlyTwoFlagBitsMean)
{
    const CCmdLineArgToggle requiredOnly("r", "", false, false, ARG_REQUIRED | 1);
    const CCmdLineArgToggle otherBits("o", "", false, false, ~(ARG_POSITIONAL | ARG_REQUIRED));
    EXPECT_TRUE(requiredOnly.IsNamed() && requiredOnly.IsRequired());
    EXPECT_FALSE(otherBits.IsPositional() || otherBits.IsRequired());
}
