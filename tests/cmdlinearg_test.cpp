#include "cmdline/bytecase.h"
#include "cmdline/cmdlinearg.h"

#include <gtest/gtest.h>

#include <climits>

TEST(CCmdLineArgInt, ConversionWrapsAndNeverFails)
{
    struct Case { const char* name; const char* text; int value; };
    const Case kCases[] = {
        {"white space 09-0D and space", "\t\n\v\f\r 42", 42},
        {"0x1C is not white space", "\x1c" "42", 0},
        {"0xA0 is not white space", "\xa0" "42", 0},
        {"plus", "+7", 7},
        {"minus", "-7", -7},
        {"two signs", "+-3", 0},
        {"two minus signs", "--3", 0},
        {"space after sign", "- 3", 0},
        {"trailing text", "12abc", 12},
        {"leading zeros", "007", 7},
        {"empty", "", 0},
        {"max", "2147483647", INT_MAX},
        {"max plus one", "2147483648", INT_MIN},
        {"min", "-2147483648", INT_MIN},
        {"min minus one", "-2147483649", INT_MAX},
        {"2^32 - 1", "4294967295", -1},
        {"2^32", "4294967296", 0},
        {"2^32 + 1", "4294967297", 1},
        {"far beyond", "99999999999999999999", 1661992959},  // 10^20 - 1 mod 2^32
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgInt arg("n", "number", 99, 0);
        EXPECT_TRUE(arg.SetValue(c.text));
        EXPECT_EQ(arg.GetValue(), c.value);
        // Validity converts the same way.
        CCmdLineArgInt checked("n", "number", 0, 0);
        checked.AddChoice(c.value);
        EXPECT_TRUE(checked.IsValidValue(c.text));
    }
}

TEST(CCmdLineArg, ChoicesLabels)
{
    CCmdLineArgString text("s", "", nullptr, 0);
    EXPECT_STREQ(text.GetChoicesLabel(), "");
    text.AddChoice("Red");
    EXPECT_STREQ(text.GetChoicesLabel(), "{Red}");
    text.AddChoice("green");
    text.AddChoice(nullptr);
    text.AddChoice("Red");
    EXPECT_STREQ(text.GetChoicesLabel(), "{Red|green||Red}");  // case kept, duplicates kept

    CCmdLineArgInt number("n", "", 0, 0);
    EXPECT_STREQ(number.GetChoicesLabel(), "");
    for (const int choice : {10, -2, 10, 0, INT_MIN, INT_MAX}) number.AddChoice(choice);
    EXPECT_STREQ(number.GetChoicesLabel(), "{10|-2|10|0|-2147483648|2147483647}");

    CCmdLineArgToggle shown("t", "", false, true, 0);
    CCmdLineArgToggle hidden("t", "", false, false, 0);
    EXPECT_STREQ(shown.GetChoicesLabel(), "{+|-}");
    EXPECT_STREQ(hidden.GetChoicesLabel(), "");
    EXPECT_STREQ(shown.GetTypeLabel(), "");
    EXPECT_STREQ(text.GetTypeLabel(), "<string>");
    EXPECT_STREQ(number.GetTypeLabel(), "<int>");
    EXPECT_TRUE(text.ExpectsValue());
    EXPECT_TRUE(number.ExpectsValue());
    EXPECT_FALSE(shown.ExpectsValue());
}

TEST(CCmdLineArg, AllowedValues)
{
    CCmdLineArgString colour("c", "", "", 0);
    colour.AddChoice("Red");
    colour.AddChoice("green");
    colour.AddChoice("\xc9t\xe9");  // bytes from 0x80 up never fold
    CCmdLineArgInt number("n", "", 0, 0);
    number.AddChoice(5);
    number.AddChoice(-3);
    struct Case { const char* name; CCmdLineArg& arg; const char* text; bool valid; };
    const Case kCases[] = {
        {"upper", colour, "RED", true},         {"lower", colour, "red", true},
        {"mixed", colour, "GrEeN", true},       {"prefix", colour, "re", false},
        {"trailing space", colour, "red ", false}, {"longer", colour, "greens", false},
        {"empty", colour, "", false},           {"high bytes exact", colour, "\xc9T\xe9", true},
        {"high bytes differ", colour, "\xe9t\xe9", false},
        {"int with junk", number, " +5x", true}, {"negative", number, "-3", true},
        {"no digits is 0", number, "abc", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.arg.IsValidValue(c.text), c.valid);
    }
    number.AddChoice(0);
    EXPECT_TRUE(number.IsValidValue("abc"));
    CCmdLineArgString open("o", "", "", 0);
    CCmdLineArgInt anyNumber("n", "", 0, 0);
    EXPECT_TRUE(open.IsValidValue(""));
    EXPECT_TRUE(anyNumber.IsValidValue("abc"));
}

TEST(CaseFolding, OnlyAsciiLettersFold)
{
    for (int a = 1; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            const bool letters = (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
            const char left[] = {static_cast<char>(a), '\0'};
            const char right[] = {static_cast<char>(b), '\0'};
            ASSERT_EQ(EqualsFolded(left, right), a == b || letters) << a << " " << b;
        }
    }
}

TEST(CCmdLineArgToggle, Values)
{
    struct Case { const char* name; const char* text; bool valid, accepted, value; };
    const Case kCases[] = {
        {"empty is on", "", true, true, true},  {"plus", "+", true, true, true},
        {"minus", "-", true, true, false},      {"double plus", "++", false, true, true},
        {"plus minus", "+-", false, true, true}, {"plus word", "+yes", false, true, true},
        {"minus digits", "-12", false, true, false},
        {"word keeps default", "on", false, false, true},
        {"letter keeps default", "x", false, false, true},
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
    CCmdLineArgToggle toggle("t", "", true, false, 0);
    EXPECT_STREQ(text.GetValue(), "dflt");
    EXPECT_EQ(number.GetValue(), -4);
    EXPECT_TRUE(toggle.GetValue());
    EXPECT_FALSE(text.IsGiven() || number.IsGiven() || toggle.IsGiven());
    text.SetValue("");
    number.SetValue("-4");
    toggle.SetValue("-");
    EXPECT_STREQ(text.GetValue(), "");
    EXPECT_EQ(number.GetValue(), -4);
    EXPECT_FALSE(toggle.GetValue());
    toggle.SetValue("x");  // refused: the accepted value stays
    EXPECT_FALSE(toggle.GetValue());
}

TEST(CCmdLineArg, Flags)
{
    struct Case { const char* name; unsigned flags; bool positional, required; };
    const Case kCases[] = {
        {"none", 0, false, false},
        {"bit 1 means nothing", 1, false, false},
        {"positional", ARG_POSITIONAL, true, false},
        {"required only is named", ARG_REQUIRED, false, true},
        {"both", ARG_POSITIONAL | ARG_REQUIRED, true, true},
        {"all other bits", ~(ARG_POSITIONAL | ARG_REQUIRED), false, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgToggle arg("t", "", false, false, c.flags);
        EXPECT_EQ(arg.IsPositional(), c.positional);
        EXPECT_EQ(arg.IsNamed(), !c.positional);
        EXPECT_EQ(arg.IsRequired(), c.required);
    }
}
