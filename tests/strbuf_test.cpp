#include "cmdline/strbuf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

TEST(CStrBuf, Substring)
{
    struct Case { const char* name; const char* text; uint32_t start, count; const char* out; };
    const Case kCases[] = {
        {"middle", "abcdef", 1, 3, "bcd"},
        {"to end", "abcdef", 2, CStrBuf::ToEnd, "cdef"},
        {"count past end", "abcdef", 4, 100, "ef"},
        {"last byte", "abcdef", 5, 1, "f"},
        {"start at length", "abcdef", 6, 1, ""},
        {"start past length", "abcdef", 7, CStrBuf::ToEnd, ""},
        {"start at ToEnd", "abcdef", CStrBuf::ToEnd, CStrBuf::ToEnd, ""},  // no start + count wrap
        {"count zero", "abcdef", 0, 0, ""},
        {"empty string", "", 0, CStrBuf::ToEnd, ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(CStrBuf(c.text).Substring(c.start, c.count).GetText(), c.out);
    }
    EXPECT_EQ(CStrBuf::ToEnd, 4294967295u);
}

TEST(CStrBuf, AssignNReservesExactlyNBytes)
{
    struct Case { const char* name; const char* text; uint32_t n; const char* out; };
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
        // Filling all n bytes must stay inside the storage (the sanitizer build
        // checks) and leave the terminator at byte n.
        for (uint32_t i = 0; i < c.n; ++i) s.GetBuffer()[i] = 'x';
        EXPECT_EQ(std::string(s.GetText()), std::string(c.n, 'x'));
    }
}

TEST(CStrBuf, OwnTextAndNullTexts)
{
    CStrBuf s("abc");
    const char* before = s.GetText();
    const CStrBuf& alias = s;
    s = alias;
    s.Assign(s.GetText());
    EXPECT_EQ(s.GetText(), before);  // nothing was reallocated
    s.Append(s.GetText());
    EXPECT_STREQ(s.GetText(), "abcabc");
    s.Assign(s.GetText() + 4);  // a tail of its own storage
    EXPECT_STREQ(s.GetText(), "bc");
    s.Append(s.GetText() + 1);
    EXPECT_STREQ(s.GetText(), "bcc");
    s.Append(nullptr);
    s.Append("");
    EXPECT_STREQ(s.GetText(), "bcc");
    s.Assign(nullptr);
    EXPECT_STREQ(s.GetText(), "");
    EXPECT_STREQ(CStrBuf(nullptr).GetText(), "");
    EXPECT_STREQ(CStrBuf().GetText(), "");

    CStrBuf original("one");
    CStrBuf copy(original);
    CStrBuf assigned;
    assigned = original;
    original.Append("two");
    EXPECT_STREQ(copy.GetText(), "one");
    EXPECT_STREQ(assigned.GetText(), "one");
}

// AddressSanitizer's allocator reports a huge request itself instead of calling
// the new-handler, so this can only be checked in the plain build.
TEST(OutOfMemoryDeathTest, PrintsAndExitsWithStatusOne)
{
#ifdef GLYPHMILL_SANITIZER_BUILD
    GTEST_SKIP() << "the sanitizer allocator does not call the new-handler";
#else
    const std::string path = testing::TempDir() + "glyphmill_out_of_memory.txt";
    const auto exhaust = [&path]() {
        CStrBuf installsHandler("x");
        if (std::freopen(path.c_str(), "wb", stdout) == nullptr) std::_Exit(2);
        volatile size_t absurd = static_cast<size_t>(-1) / 2;
        void* volatile block = ::operator new(absurd);
        ::operator delete(block);
    };
    EXPECT_EXIT(exhaust(), testing::ExitedWithCode(1), "");
    std::ifstream written(path, std::ios::binary);
    std::ostringstream text;
    text << written.rdbuf();
    EXPECT_EQ(text.str(), "out of memory\n\n");
    std::remove(path.c_str());
#endif
}
