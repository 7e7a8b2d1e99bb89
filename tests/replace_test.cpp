// The POSIX host's files-in-place calls on their own: names that are not
// there, a replacement that cannot read its original, and one that keeps what
// the original had.
#include "platform/replace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "platform/walk.h"
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

// The bytes of the file `path` names.
std::string ReadWhole(const std::string& path)
{
    std::string bytes;
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[256];
    for (ssize_t got = 0; file >= 0 && (got = read(file, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<size_t>(got));
    }
    if (file >= 0) {
        close(file);
    }
    return bytes;
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

// The walk's calls relative to a folder: each kind of entry is told apart,
// and each way in that is refused gives its own error (never a link followed,
// never a FIFO waited on).
TEST(ReplacePosix, AFolderTellsItsEntriesApartAndRefusesWhatItMustNotFollow)
{
    CScratchDir dir;
    dir.Write("file", "x");
    ASSERT_EQ(mkdir(dir.Path("sub").c_str(), 0700), 0);
    ASSERT_EQ(symlink("sub", dir.Path("link").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    platform::FileFacts facts;
    int error = 0;
    const std::shared_ptr<const platform::CFolder> folder = platform::CFolder::Open(dir.Path(""), &facts, &error);
    ASSERT_NE(folder, nullptr) << error;
    EXPECT_EQ(facts.m_kind, platform::FileKind::kDirectory);

    const struct {
        const char* name;
        platform::FileKind kind;
    } kKinds[] = {{"file", platform::FileKind::kRegular},
                  {"sub", platform::FileKind::kDirectory},
                  {"link", platform::FileKind::kSymlink},
                  {"fifo", platform::FileKind::kOther}};
    for (const auto& row : kKinds) {
        ASSERT_TRUE(folder->Look(row.name, &facts, &error)) << row.name;
        EXPECT_EQ(facts.m_kind, row.kind) << row.name;
    }

    struct Case {
        const char* what;
        bool (*refused)(const platform::CFolder& folder, const std::string& top, int* error);
        int error;
    };
    const Case kCases[] = {
        {"a missing folder",
         [](const platform::CFolder&, const std::string& top, int* e) {
             platform::FileFacts f;
             return platform::CFolder::Open(top + "/missing", &f, e) == nullptr;
         },
         ENOENT},
        {"a file as a folder",
         [](const platform::CFolder&, const std::string& top, int* e) {
             platform::FileFacts f;
             return platform::CFolder::Open(top + "/file", &f, e) == nullptr;
         },
         ENOTDIR},
        // Linux refuses a link opened as a folder without following it as no folder.
        {"a link as a child folder",
         [](const platform::CFolder& d, const std::string&, int* e) {
             platform::FileFacts f;
             return d.OpenChild("link", &f, e) == nullptr;
         },
         ENOTDIR},
        {"a file as a child folder",
         [](const platform::CFolder& d, const std::string&, int* e) {
             platform::FileFacts f;
             return d.OpenChild("file", &f, e) == nullptr;
         },
         ENOTDIR},
        {"a missing entry looked at",
         [](const platform::CFolder& d, const std::string&, int* e) {
             platform::FileFacts f;
             return !d.Look("missing", &f, e);
         },
         ENOENT},
        {"a link opened as a file",
         [](const platform::CFolder& d, const std::string&, int* e) {
             return d.OpenFile("link", e) == platform::kNoFile;
         },
         ELOOP},
        {"a file listed as a folder",
         [](const platform::CFolder&, const std::string& top, int* e) {
             std::vector<std::string> names;
             return !platform::ListFolder((top + "/file").c_str(), &names, e);
         },
         ENOTDIR},
        {"no open file looked at",
         [](const platform::CFolder&, const std::string&, int* e) {
             platform::FileFacts f;
             return !platform::LookAtOpen(platform::kNoFile, &f, e);
         },
         EBADF},
        {"no open file read",
         [](const platform::CFolder&, const std::string&, int* e) {
             unsigned char byte = 0;
             return platform::ReadAt(platform::kNoFile, &byte, 1, 0, e) < 0;
         },
         EBADF},
    };
    for (const Case& c : kCases) {
        error = 0;
        EXPECT_TRUE(c.refused(*folder, dir.Path(""), &error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
    // A FIFO opens at once (it is then told apart by the open file's facts).
    const platform::FileHandle fifo = folder->OpenFile("fifo", &error);
    ASSERT_NE(fifo, platform::kNoFile) << error;
    ASSERT_TRUE(platform::LookAtOpen(fifo, &facts, &error));
    EXPECT_EQ(facts.m_kind, platform::FileKind::kOther);
    close(fifo);
    EXPECT_FALSE(folder->MayWrite("missing"));
    // The path for calls that take one reaches the entry through this folder.
    EXPECT_EQ(ReadWhole(folder->PathTo("file")), "x");
}

TEST(ReplacePosix, AFolderAndANameAreJoinedByOneSlash)
{
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } kCases[] = {{"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"/", "b", "/b"}, {"a/b", "c.txt", "a/b/c.txt"}};
    for (const auto& c : kCases) {
        EXPECT_EQ(platform::JoinPath(c.folder, c.name), c.joined);
    }
}
