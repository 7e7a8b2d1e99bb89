#include "cmdline/cmdlineargset.h"

#include <gtest/gtest.h>

#include "tests/support/argv.h"

TEST(CCmdLineArgSet, PrefixMatchingFirstDeclaredWins)
{
    CCmdLineArgString o("o", "", "", 0), out("out", "", "", 0), high("\xe9t\xe9", "", "", 0);
    CCmdLineArgString any("", "", "", 0);  // takes whatever no earlier argument takes
    CCmdLineArgSet set;
    for (CCmdLineArg* arg : {&o, &out, &high, &any})
        set.AddArg(arg);
    Argv args{"-OUT1", "-out2", "-\xe9T\xe9=3", "-\xc9t\xe9"};
    EXPECT_TRUE(set.Parse(args.argc(), args.argv()));
    EXPECT_STREQ(o.GetValue(), "UT1");   // o is a prefix of out and declared first
    EXPECT_STREQ(out.GetValue(), "2");   // o is given, so out is next
    EXPECT_STREQ(high.GetValue(), "3");  // T folds, the bytes from 0x80 up match exactly
    EXPECT_STREQ(any.GetValue(), "\xc9t\xe9");
}

TEST(CCmdLineArgSet, PositionalFilling)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> texts;
        const char* error;
        const char* first;
        const char* second;
    };
    const Case kCases[] = {
        {"in order", {"a", "-v", "b"}, "", "a", "b"},
        {"empty text is a value", {"", "b"}, "", "", "b"},
        {"third refused", {"a", "b", "c"}, "Invalid argument: c\n\n", "a", "b"},
        // p1 refuses; p2 would accept but is not tried.
        {"first refuses", {"zz"}, "Invalid argument: zz\n\n", "", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgString p1("p1", "", "", ARG_POSITIONAL), p2("p2", "", "", ARG_POSITIONAL);
        CCmdLineArgToggle v("v", "", false, false, 0);
        p1.AddChoice("a");
        p1.AddChoice("");
        CCmdLineArgSet set;
        for (CCmdLineArg* arg : std::initializer_list<CCmdLineArg*>{&p1, &v, &p2})
            set.AddArg(arg);
        Argv args(c.texts);
        EXPECT_EQ(set.Parse(args.argc(), args.argv()), c.error[0] == '\0');
        EXPECT_STREQ(set.GetErrorText(), c.error);
        EXPECT_STREQ(p1.GetValue(), c.first);
        EXPECT_STREQ(p2.GetValue(), c.second);
    }
}

TEST(CCmdLineArgSet, CheckOrder)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> texts;
        const char* error;
    };
    const Case kCases[] = {
        {"invalid text first", {"-g1", "-g2", "-d", "-z"}, "Invalid argument: -z\n\n"},
        // Reported in group order (g2 listed first), never g2 against itself.
        {"then exclusive group", {"-g1", "-g2", "-d"}, "Exclusive arguments: g2 and g1\n\n"},
        {"then dependency", {"-g1", "-d"}, "d is invalid without p\n\n"},
        {"then required", {"-g1"}, "Missing required argument: r\n\n"},
        {"all satisfied", {"-p", "-d", "-r"}, ""},
        {"listed twice in a group", {"-g2", "-r"}, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgToggle g1("g1", "", false, false, 0), g2("g2", "", false, false, 0);
        CCmdLineArgToggle p("p", "", false, false, 0), d("d", "", false, false, 0);
        CCmdLineArgToggle r("r", "", false, false, ARG_REQUIRED);
        CCmdLineArgSet set;
        set.AddArg(&r);
        set.AddExclusiveGroup({&g2, &g2, &g1});
        set.AddDependency(&p, {&d});
        Argv args(c.texts);
        EXPECT_EQ(set.Parse(args.argc(), args.argv()), c.error[0] == '\0');
        EXPECT_STREQ(set.GetErrorText(), c.error);
    }
}

TEST(CCmdLineArgSet, DependenciesInPointerOrder)
{
    // Array elements lie at ascending addresses: prerequisites[0] is visited
    // first although it was declared second.
    CCmdLineArgToggle prerequisites[2] = {{"p0", "", false, false, 0}, {"p1", "", false, false, 0}};
    CCmdLineArgToggle d0("d0", "", false, false, 0), d1("d1", "", false, false, 0);
    CCmdLineArgToggle ignored("e", "", false, false, 0);
    CCmdLineArgSet set;
    set.AddDependency(&prerequisites[1], {&d1});
    set.AddDependency(&prerequisites[0], {&ignored, &d0});
    set.AddDependency(&prerequisites[1], {&ignored});  // an existing entry stays as it was
    Argv args{"-d1", "-d0", "-e"};
    EXPECT_FALSE(set.Parse(args.argc(), args.argv()));
    EXPECT_STREQ(set.GetErrorText(), "e is invalid without p0\n\n");
    EXPECT_STREQ(set.GetUsageText(false), "[-p1] [-d1] [-p0] [-e] [-d0] [-p1] [-e] \n");
}

// A second list for the same prerequisite neither replaces nor joins the first.
TEST(CCmdLineArgSet, SecondDependencyListLeavesTheFirstInForce)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> texts;
        const char* error;
    };
    const Case kCases[] = {
        {"first list still checked", {"-d1"}, "d1 is invalid without p\n\n"},
        {"second list not checked", {"-d2"}, ""},
        {"named in the list's order", {"-d2", "-d1", "-d3"}, "d3 is invalid without p\n\n"},
        {"prerequisite given", {"-p", "-d1", "-d2"}, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CCmdLineArgToggle p("p", "", false, false, 0);
        CCmdLineArgToggle d1("d1", "", false, false, 0), d2("d2", "", false, false, 0), d3("d3", "", false, false, 0);
        CCmdLineArgSet set;
        set.AddDependency(&p, {&d3, &d1});
        set.AddDependency(&p, {&d2});
        Argv args(c.texts);
        EXPECT_EQ(set.Parse(args.argc(), args.argv()), c.error[0] == '\0');
        EXPECT_STREQ(set.GetErrorText(), c.error);
    }
}

TEST(CCmdLineArgSet, UsageLayout)
{
    CCmdLineArgString file("file", "the file", "", ARG_POSITIONAL);
    file.AddChoice("a");
    file.AddChoice("b");
    CCmdLineArgToggle v("v", "verbose", false, false, 0);
    CCmdLineArgInt n("n", "count", 0, ARG_REQUIRED);
    CCmdLineArgSet positional;
    for (CCmdLineArg* arg : std::initializer_list<CCmdLineArg*>{&file, &v})
        positional.AddArg(arg);
    EXPECT_STREQ(positional.GetUsageText(true), "[<file>{a|b}] [-v] \n\nfile  the file\n-v    verbose\n");

    CCmdLineArgSet listedTwice;
    listedTwice.AddArg(&v);
    listedTwice.AddExclusiveGroup({&v, &n});
    listedTwice.AddTextLine("first");
    listedTwice.AddTextLine(nullptr);
    EXPECT_STREQ(listedTwice.GetUsageText(false), "[-v] [-v] -n=<int> \n");
    EXPECT_STREQ(listedTwice.GetUsageText(true),
                 "[-v] [-v] -n=<int> \n\nfirst\n\n\n-v  verbose\n-v  verbose\n-n  count\n");

    CCmdLineArgSet empty;
    EXPECT_STREQ(empty.GetUsageText(false), "\n");
    EXPECT_STREQ(empty.GetUsageText(true), "\n");
    empty.AddTextLine("only text");
    EXPECT_STREQ(empty.GetUsageText(false), "\n");
    EXPECT_STREQ(empty.GetUsageText(true), "\n\nonly text\n");
}

TEST(CCmdLineArgSet, ArgumentTexts)
{
    CCmdLineArgSet set;
    EXPECT_EQ(set.GetArgCount(), 0u);
    Argv args{"one", "two"};
    EXPECT_FALSE(set.Parse(args.argc(), args.argv()));
    EXPECT_EQ(set.GetArgCount(), 2u);
    EXPECT_STREQ(set.GetProgramName(), "glyphmill");
    EXPECT_STREQ(set.GetArgText(2), "two");
    EXPECT_EQ(set.GetArgText(3), nullptr);
    EXPECT_STREQ(set.GetErrorText(), "Invalid argument: one\n\n");
}
