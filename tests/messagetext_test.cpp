// Names in messages: escaped, but for the characters of valid UTF-8 when the
// locale's character set is UTF-8.
#include "cmdline/messagetext.h"

#include <gtest/gtest.h>

TEST(MessageText, ShowsValidUtf8OnlyWhenAsked)
{
    struct TextCase {
        const char* text;
        const char* escaped;
        const char* utf8;
    };
    const TextCase kCases[] = {
        {"caf\xc3\xa9", "caf\\xc3\\xa9", "caf\xc3\xa9"},
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "\\xe2\\x82\\xac \\xf0\\x9f\\x98\\x80", "\xe2\x82\xac \xf0\x9f\x98\x80"},
        {"a\\b\n", "a\\\\b\\x0a", "a\\\\b\\x0a"},
        {"\xc2\x9b[2J", "\\xc2\\x9b[2J", "\\xc2\\x9b[2J"},                     // C1 CSI: a terminal command
        {"\xc0\xaf", "\\xc0\\xaf", "\\xc0\\xaf"},                              // overlong
        {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\\xed\\xa0\\x80"},                // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", "\\xf4\\x90\\x80\\x80"},  // above U+10FFFF
        {"\xe2\x82", "\\xe2\\x82", "\\xe2\\x82"},                              // cut short at the end
        {"\xe9t\xc3\xa9", "\\xe9t\\xc3\\xa9", "\\xe9t\xc3\xa9"},
    };
    for (const TextCase& c : kCases) {
        ShowUtf8InMessages(false);
        EXPECT_EQ(EscapedForMessage(c.text), c.escaped);
        ShowUtf8InMessages(true);
        EXPECT_EQ(EscapedForMessage(c.text), c.utf8);
    }
    EXPECT_EQ(EscapedForMessage("\xc3\xa9\xc3\xa9", 3), "\xc3\xa9...");  // a character is never cut
    ShowUtf8InMessages(false);
}
