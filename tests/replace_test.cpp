// The POSIX host's files-in-place calls on their own: names that are not
// there, a replacement that cannot read its original, and one that keeps what
// the original had.
#include "platform/replace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "tests/support/run_tool.h"

namespace {

// The files of a folder, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    int error = 0;
    EXPECT_TRUE(platform::ListFolder(folder.c_str(), &names, &error)) << error;
    return names;
}

}  // namespace

TEST(ReplacePosix, NamesThatAreNotThereGiveTheirError)
{
    CScratchDir dir;
    dir.Write("file", "x");
    struct Case {
        const char* name;
        bool (*call)(const std::string& path, int* error);
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"probe",
         [](const std::string& path, int* error) {
             platform::FileFacts facts;
             return platform::Probe(path.c_str(), true, &facts, error);
         },
         dir.Path("missing"), ENOENT},
        {"link",
         [](const std::string& path, int* error) {
             std::string target;
             return platform::ResolveLink(path.c_str(), &target, error);
         },
         dir.Path("missing"), ENOENT},
        {"folder",
         [](const std::string& path, int* error) {
             std::vector<std::string> names;
             return platform::ListFolder(path.c_str(), &names, error);
         },
         dir.Path("missing"), ENOENT},
        {"a file as a folder",
         [](const std::string& path, int* error) {
             std::vector<std::string> names;
             return platform::ListFolder(path.c_str(), &names, error);
         },
         dir.Path("file"), ENOTDIR},
        {"a replacement in a missing folder",
         [](const std::string& path, int* error) {
             platform::CReplacement replacement(0);
             return replacement.Create(path, error);
         },
         dir.Path("missing/file"), ENOENT},
    };
    for (const Case& c : cases) {
        int error = 0;
        EXPECT_FALSE(c.call(c.path, &error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    EXPECT_EQ(Names(dir.Path("")), std::vector<std::string>{"file"}) << "nothing was left behind";
}

TEST(ReplacePosix, AnOriginalThatCannotBeReadLeavesEverythingAsItWas)
{
    CScratchDir dir;
    dir.Write("file", "old");
    {
        platform::CReplacement replacement(0);
        int error = 0;
        ASSERT_TRUE(replacement.Create(dir.Path("file"), &error)) << error;
        const char* step = nullptr;
        EXPECT_FALSE(replacement.Commit(platform::kNoFile, platform::ReplaceOptions{}, &step, &error));
        EXPECT_STREQ(step, "reading the attributes of");
        EXPECT_EQ(error, EBADF);
        EXPECT_EQ(dir.Read("file"), "old");
    }
    EXPECT_EQ(Names(dir.Path("")), std::vector<std::string>{"file"}) << "the temporary file was removed";
}

TEST(ReplacePosix, TheNewFileKeepsTheModeTimesAndAttributes)
{
    CScratchDir dir;
    dir.Write("file", "old");
    const std::string path = dir.Path("file");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000000, 5}, {1100000000, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const bool hasAttributes = setxattr(path.c_str(), "user.glyphmill", "kept", 4, 0) == 0;
    platform::CReplacement replacement(0);
    int error = 0;
    ASSERT_TRUE(replacement.Create(path, &error)) << error;
    ASSERT_EQ(write(replacement.Handle(), "new", 3), 3);
    platform::ReplaceOptions options;
    options.m_keepTimes = true;
    const char* step = nullptr;
    ASSERT_TRUE(replacement.Commit(open(path.c_str(), O_RDONLY), options, &step, &error)) << step << " " << error;
    EXPECT_EQ(dir.Read("file"), "new");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, times[1].tv_nsec);
    if (hasAttributes) {
        char value[8] = {};
        EXPECT_EQ(getxattr(path.c_str(), "user.glyphmill", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    } else {
        std::cout << "this file system keeps no user attributes: their copy is not checked\n";
    }
    EXPECT_EQ(Names(dir.Path("")), std::vector<std::string>{"file"});
}
