// The Windows host's file names and file replacement, against the real
// system (under wine): names reach the file named, the new text arrives under
// the old name with the old attributes, nothing is left beside it, a
// discarded replacement leaves the original as it was, and a file that has
// a temporary file's name is never touched.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/names_win32.h"
#include "platform/replace.h"
#include "platform/tempname.h"

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder of the test's own under the current one.
std::string Folder(const char* name)
{
    const std::string folder = std::string("replace-test-") + name;
    std::system(("rmdir /s /q " + folder + " 2>nul & mkdir " + folder).c_str());
    return folder;
}

bool Replace(const std::string& path, const std::string& text, bool commit, int* failure = nullptr)
{
    int ignored = 0;
    int& error = failure != nullptr ? *failure : ignored;
    platform::CReplacement replacement(0);
    const platform::FileHandle original = platform::OpenForReading(path.c_str(), &error);
    if (original == platform::kNoFile || !replacement.Create(path, &error) ||
        !platform::WriteAll(replacement.Handle(), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                            &error)) {
        return false;
    }
    if (!commit) {
        platform::Close(original, &error);
        return true;  // the destructor discards it
    }
    const char* step = nullptr;
    return replacement.Commit(original, platform::ReplaceOptions{}, &step, &error);
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide;
    EXPECT_TRUE(platform::win32::WideFromUtf8(text, &wide)) << text;
    return wide;
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesW(Wide(path).c_str());
}

// Our temporary files in `folder`, which ListFolder passes over.
std::vector<std::string> Temporaries(const std::string& folder)
{
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = platform::win32::Utf8FromWide(std::wstring(entry.cFileName));
            if (platform::IsTemporaryName(name.c_str())) {
                found.push_back(name);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return found;
}

// On absolute and relative names: the new text under the old name with the
// original's attributes, and nothing else left in the folder.
TEST(WindowsReplace, CommitReplacesAndDiscardLeavesTheOriginal)
{
    const std::string folder = Folder("commit");
    wchar_t full[MAX_PATH];
    ASSERT_NE(GetFullPathNameW(Wide(folder).c_str(), MAX_PATH, full, nullptr), 0u);
    const std::string absolute = platform::win32::Utf8FromWide(std::wstring(full));
    for (const std::string& path : {platform::JoinPath(folder, "a.txt"), platform::JoinPath(absolute, "b.txt")}) {
        SCOPED_TRACE(path);
        Spit(path, "old\r\n");
        ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
        ASSERT_TRUE(Replace(path, "new\n", true));
        EXPECT_EQ(Slurp(path), "new\n");
        EXPECT_EQ(Attributes(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), FILE_ATTRIBUTE_HIDDEN);
        ASSERT_TRUE(Replace(path, "newer\n", false));
        EXPECT_EQ(Slurp(path), "new\n");
    }
    std::vector<std::string> names;
    int error = 0;
    ASSERT_TRUE(platform::ListFolder(folder.c_str(), &names, &error));
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{});
}

// A file that has the name a temporary file would take is someone's: it
// keeps its bytes, another name is used, and walks pass over both.
TEST(WindowsReplace, AFileWithATemporaryNameSurvives)
{
    const std::string folder = Folder("taken");
    const std::string path = platform::JoinPath(folder, "c.txt");
    const std::string taken = platform::JoinPath(folder, platform::TemporaryNameFor("c.txt", 7));
    Spit(path, "old\r\n");
    Spit(taken, "theirs");
    static int s_calls = 0;
    platform::win32::SetTemporaryUniqueSource([] { return ++s_calls < 3 ? 7ull : 8ull; });
    const bool replaced = Replace(path, "new\n", true);
    platform::win32::SetTemporaryUniqueSource(nullptr);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(s_calls, 3);
    EXPECT_EQ(Slurp(path), "new\n");
    EXPECT_EQ(Slurp(taken), "theirs");
    std::vector<std::string> names;
    int error = 0;
    ASSERT_TRUE(platform::ListFolder(folder.c_str(), &names, &error));
    EXPECT_EQ(names, std::vector<std::string>{"c.txt"});
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{platform::TemporaryNameFor("c.txt", 7)});
}

// Windows' own errors in their own words, and a file the user may not write.
TEST(WindowsReplace, ErrorsAndRefusals)
{
    const std::string folder = Folder("errors");
    const std::string path = platform::JoinPath(folder, "held.txt");
    Spit(path, "x");
    int error = 0;
    const HANDLE held = CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::OpenForReading(path.c_str(), &error), platform::kNoFile);
    EXPECT_STREQ(platform::ErrorText(error), "in use by another program");
    CloseHandle(held);
    // Held without leave to delete: the swap is refused, and nothing is left behind.
    const HANDLE reader = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Replace(path, "new", true, &error));
    EXPECT_STREQ(platform::ErrorText(error), "in use by another program");
    CloseHandle(reader);
    EXPECT_EQ(Slurp(path), "x");
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{});
    EXPECT_EQ(platform::OpenForReading("bad\xff.txt", &error), platform::kNoFile);
    EXPECT_STREQ(platform::ErrorText(error), "invalid name");

    const std::string locked = platform::JoinPath(folder, "locked.txt");
    Spit(locked, "x");
    ASSERT_TRUE(SetFileAttributesW(Wide(locked).c_str(), FILE_ATTRIBUTE_READONLY));
    platform::FileFacts facts;
    ASSERT_TRUE(platform::Probe(locked.c_str(), false, &facts, &error));
    EXPECT_FALSE(facts.m_writable);
    SetFileAttributesW(Wide(locked).c_str(), FILE_ATTRIBUTE_NORMAL);
    // A device by its bare name is told without being opened.
    ASSERT_TRUE(platform::Probe("COM1", false, &facts, &error));
    EXPECT_EQ(facts.m_kind, platform::FileKind::kOther);
}

TEST(WindowsReplace, ProbeTellsFilesFromFolders)
{
    const std::string folder = Folder("probe");
    const std::string path = platform::JoinPath(folder, "b.txt");
    Spit(path, "x");
    platform::FileFacts facts;
    int error = 0;
    ASSERT_TRUE(platform::Probe(path.c_str(), false, &facts, &error));
    EXPECT_EQ(facts.m_kind, platform::FileKind::kRegular);
    EXPECT_EQ(facts.m_links, 1u);
    EXPECT_EQ(facts.m_size, 1u);
    EXPECT_TRUE(facts.m_writable);
    ASSERT_TRUE(platform::Probe(folder.c_str(), false, &facts, &error));
    EXPECT_EQ(facts.m_kind, platform::FileKind::kDirectory);
    EXPECT_FALSE(platform::Probe(platform::JoinPath(folder, "missing").c_str(), false, &facts, &error));
}

}  // namespace
