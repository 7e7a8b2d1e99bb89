// File-name patterns as --include and --exclude match them: fnmatch(3) on
// POSIX hosts, the Windows build's own matcher there; the rows hold on both.
#include "platform/names.h"

#include <gtest/gtest.h>

TEST(Names, GlobsMatchBaseNamesAsFnmatchDoes)
{
    struct GlobCase {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const GlobCase kCases[] = {
        {"*.txt", "a.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", ".txt", true},
        {"*", "", true},
        {"a*b*c", "aXbYbc", true},
        {"a*b*c", "aXbYbd", false},
        {"?.c", "x.c", true},
        {"?.c", ".c", false},
        {"[ab]*", "bee", true},
        {"[!ab]*", "bee", false},
        {"[a-c]x", "cx", true},
        {"[a-c]x", "dx", false},
        {"[]]", "]", true},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"[", "[", true},
        {"caf\xc3\xa9*", "caf\xc3\xa9.md", true},
        {"*.[ch]", "main.h", true},
        {"*.[ch]", "main.cc", false},
    };
    for (const GlobCase& c : kCases) {
        EXPECT_EQ(platform::MatchesGlob(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    }
}

TEST(Names, BaseNameIsTheLastComponent)
{
    EXPECT_EQ(platform::BaseName("a/b.txt"), "b.txt");
    EXPECT_EQ(platform::BaseName("src/"), "src");
    EXPECT_EQ(platform::BaseName("name"), "name");
    EXPECT_EQ(platform::BaseName("/"), "/");
}
