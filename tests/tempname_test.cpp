// The temporary file's name: it carries its target's, fits a folder entry,
// and is the one shape a walk passes over.
#include "platform/tempname.h"

#include <gtest/gtest.h>

#include <string>

TEST(TemporaryName, CarriesItsTargetAndIsRecognised)
{
    const std::string name = platform::TemporaryNameFor("notes.txt", 0);
    EXPECT_EQ(name, ".notes.txt.glyphmill-AAAAAA");
    EXPECT_NE(platform::TemporaryNameFor("notes.txt", 1), name);
    EXPECT_TRUE(platform::IsTemporaryName(name.c_str()));
}

TEST(TemporaryName, LongNamesAreCutAtACharacterAndFit)
{
    // Two ASCII bytes then two-byte characters: a cut at 237 bytes would fall inside one.
    const std::string base = "ab" + [] {
        std::string s;
        for (int i = 0; i < 200; ++i) {
            s += "\xC3\xA9";
        }
        return s;
    }();
    const std::string name = platform::TemporaryNameFor(base, 12345);
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.compare(1, 236, base, 0, 236), 0);
    EXPECT_EQ(name[237], '.');  // the cut kept 236 bytes of the base, not 237
    EXPECT_TRUE(platform::IsTemporaryName(name.c_str()));
}

TEST(TemporaryName, OnlyItsShapeIsRecognised)
{
    struct Row {
        const char* base;
        bool temporary;
    } const rows[] = {
        {".a.glyphmill-Ab3xYz", true},  {".glyphmill-files.123.0.4", true},  // 1.2.0's
        {"a.glyphmill-Ab3xYz", false},                                       // not hidden
        {".a.glyphmill-Ab3xY", false},                                       // five characters
        {".a.glyphmill-Ab3x.z", false}, {"..glyphmill-Ab3xYz", false},       // no name of its own
        {".notes.txt", false},          {".glyphmill-files", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(platform::IsTemporaryName(row.base), row.temporary) << row.base;
    }
}
