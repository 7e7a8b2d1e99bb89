// The Windows host's file replacement, against the real system (under wine):
// the new text under the old name with the old attributes, nothing left
// beside it, and a discarded replacement leaving the original as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/replace.h"

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

bool Replace(const std::string& path, const std::string& text, bool commit)
{
    int error = 0;
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

TEST(WindowsReplace, CommitReplacesAndDiscardLeavesTheOriginal)
{
    const std::string folder = Folder("commit");
    const std::string path = platform::JoinPath(folder, "a.txt");
    Spit(path, "old\r\n");
    ASSERT_TRUE(Replace(path, "new\n", true));
    EXPECT_EQ(Slurp(path), "new\n");
    ASSERT_TRUE(Replace(path, "newer\n", false));
    EXPECT_EQ(Slurp(path), "new\n");
    std::vector<std::string> names;
    int error = 0;
    ASSERT_TRUE(platform::ListFolder(folder.c_str(), &names, &error));
    EXPECT_EQ(names, std::vector<std::string>{"a.txt"});  // no temporary file left
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
