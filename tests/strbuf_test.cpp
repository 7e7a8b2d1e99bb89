#include "cmdline/strbuf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

TEST(CStrBuf, Substring)
{
    struct Case {
        const char* name;
        uint32_t start, count;
        const char* out;
    };
    const Case kCases[] = {
        {"middle", 1, 3, "bcd"},
        {"to end", 2, CStrBuf::ToEnd, "cdef"},
        {"count past end", 4, 100, "ef"},
        {"start at length", 6, 1, ""},
        {"start past length", 7, CStrBuf::ToEnd, ""},
        {"start at ToEnd", CStrBuf::ToEnd, CStrBuf::ToEnd, ""},  // start + count must not wrap
        {"count zero", 0, 0, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(CStrBuf("abcdef").Substring(c.start, c.count).GetText(), c.out);
    }
    EXPECT_STREQ(CStrBuf("").Substring(0, CStrBuf::ToEnd).GetText(), "");
    EXPECT_EQ(CStrBuf::ToEnd, 4294967295u);
}

TEST(CStrBuf, AssignNReservesExactlyNBytes)
{
    struct Case {
        const char* name;
        const char* text;
        uint32_t n;
        const char* out;
    };
    const Case kCases[] = {
        {"shorter text is zero-filled", "ab", 5, "ab"},
        {"longer text is cut", "abcdef", 3, "abc"},
        {"null text", nullptr, 4, ""},
        {"zero bytes", "abc", 0, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CStrBuf s("old");
        s.AssignN(c.text, c.n);
        EXPECT_STREQ(s.GetText(), c.out);
        // All n bytes may be written (the sanitizer build checks the bound);
        // the terminator stays at byte n.
        for (uint32_t i = 0; i < c.n; ++i)
            s.GetBuffer()[i] = 'x';
        EXPECT_EQ(std::string(s.GetText()), std::string(c.n, 'x'));
    }
}

TEST(CStrBuf, OwnTextAndNullTexts)
{
    CStrBuf s("abc");
    const char* before = s.GetText();
    const CStrBuf& alias = s;
    s = alias;
    EXPECT_EQ(s.GetText(), before);  // self-assignment does not reallocate
    s.Append(s.GetText());
    EXPECT_STREQ(s.GetText(), "abcabc");
    s.Assign(s.GetText() + 4);  // a tail of its own storage
    s.Append(nullptr);
    EXPECT_STREQ(s.GetText(), "bc");
    CStrBuf copy(s);
    s.Assign(nullptr);
    EXPECT_STREQ(s.GetText(), "");
    EXPECT_STREQ(copy.GetText(), "bc");
    EXPECT_STREQ(CStrBuf(nullptr).GetText(), "");
}

// The sanitizer's allocator reports a huge request itself instead of calling
// the new-handler, so this is checked in the plain build only.
TEST(OutOfMemoryDeathTest, PrintsAndExitsWithStatusOne)
{
#ifdef GLYPHMILL_SANITIZER_BUILD
    GTEST_SKIP() << "the sanitizer allocator does not call the new-handler";
#else
    const std::string path = testing::TempDir() + "glyphmill_out_of_memory.txt";
    const auto exhaust = [&path]() {
        CStrBuf installsHandler("x");
        if (std::freopen(path.c_str(), "wb", stdout) == nullptr)
            std::_Exit(2);
        volatile size_t absurd = static_cast<size_t>(-1) / 2;
        ::operator delete(::operator new(absurd));
    };
    EXPECT_EXIT(exhaust(), testing::ExitedWithCode(1), "");
    std::ifstream written(path, std::ios::binary);
    std::ostringstream text;
    text << written.rdbuf();
    EXPECT_EQ(text.str(), "out of memory\n\n");
    std::remove(path.c_str());
#endif
}
