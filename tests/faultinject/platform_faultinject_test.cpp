// The POSIX host's file calls with the fault-injection shim linked in: a
// failed system call is the caller's error, never a silent success, an
// interrupted call or a short count is retried, and a replacement failing at
// any step leaves the original as it was and no temporary file behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "platform/platform.h"
#include "platform/replace.h"
#include "tests/faultinject/faultinject.h"
#include "tests/support/run_tool.h"

namespace {

// The schedule for one scope: the calls under test, not the test's own.
class CFaults {
public:
    explicit CFaults(const char* schedule) { glyphmill_faults_set(schedule); }
    ~CFaults() { glyphmill_faults_set(""); }
};

// Ten bytes written to a new file and read back through the host's calls
// under `faults`: the error of the first call that failed, or 0.
int WriteAndReadBack(const std::string& path, const char* faults, std::string* back)
{
    CFaults scope(faults);
    int error = 0;
    const unsigned char text[] = "0123456789";
    platform::FileHandle file = platform::OpenForWriting(path.c_str(), &error);
    const bool written = file != platform::kNoFile && platform::WriteAll(file, text, 10, &error);
    if (file == platform::kNoFile || !platform::Close(file, &error) || !written) {
        return error;
    }
    unsigned char buffer[16];
    file = platform::OpenForReading(path.c_str(), &error);
    const long got = file == platform::kNoFile ? -1 : platform::ReadSome(file, buffer, sizeof buffer, &error);
    back->assign(reinterpret_cast<const char*>(buffer), got > 0 ? static_cast<size_t>(got) : 0);
    return file == platform::kNoFile || !platform::Close(file, &error) || got < 0 ? error : 0;
}

TEST(PlatformFaults, FileCallsGiveTheSystemsErrorOrRetry)
{
    const struct {
        const char* faults;
        int error;  // 0: every call succeeds and the bytes come back
    } kCases[] = {
        {"open:eio:1", EIO},
        {"open:enospc:2", ENOSPC},
        {"write:eintr:1,write:short:2:1", 0},
        {"write:nothing:1", ENOSPC},  // never spins on a full file
        {"write:short:1,write:enospc:2", ENOSPC},
        {"close:eio:1", EIO},  // the last data may fail only at the close
        {"close:eintr:1", 0},  // the descriptor is released: not retried
        {"read:eintr:1", 0},
        {"read:eio:1", EIO},
    };
    CScratchDir dir;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.faults);
        std::string back;
        EXPECT_EQ(WriteAndReadBack(dir.Path("file"), c.faults, &back), c.error);
        if (c.error == 0) {
            EXPECT_EQ(back, "0123456789");
        }
    }
}

platform::ReplaceOptions Options(bool keepTimes, bool allowChown)
{
    platform::ReplaceOptions options;
    options.m_keepTimes = keepTimes;
    options.m_allowChown = allowChown;
    return options;
}

// A replacement of a file with an extended attribute, made and committed
// under `faults`: the step that failed and its error (the original whole), or
// success (the new text in place).
struct ReplaceCase {
    const char* faults;
    platform::ReplaceOptions options;
    const char* step;  // nullptr: Commit succeeds
    int error;
};

TEST(PlatformFaults, AReplacementFailingAtAnyStepLeavesTheOriginal)
{
    const ReplaceCase kCases[] = {
        {"open:eexist:2", {}, nullptr, 0},  // a name taken meanwhile (open 1: the folder): another is tried
        {"fchown:eio:1", {}, platform::kKeepingOwnerStep, EIO},
        {"fchown:eperm:1", {}, platform::kKeepingOwnerStep, EPERM},
        {"fchown:eperm:1", Options(false, true), nullptr, 0},
        {"fchmod:eio:1", {}, "setting the mode of", EIO},
        // Failing with errno left 0 once reported "Success".
        {"flistxattr:eio:1", {}, "copying the extended attributes of", EIO},
        {"flistxattr:enotsup:1", {}, nullptr, 0},  // a file system without attributes
        {"fgetxattr:eio:1", {}, "copying the extended attributes of", EIO},
        {"fsetxattr:enospc:1", {}, "copying the extended attributes of", ENOSPC},
        {"futimens:eio:1", Options(true, false), "keeping the times of", EIO},
        {"fsync:eio:1", {}, "flushing", EIO},
        {"close:enospc:2", {}, "writing", ENOSPC},  // the original is closed first
        {"rename:eio:1", {}, "renaming over", EIO},
        {"fsync:eio:2", {}, "flushing the folder of", EIO},  // after the rename: the new text stays
    };
    for (const ReplaceCase& c : kCases) {
        SCOPED_TRACE(c.faults);
        CScratchDir dir;
        dir.Write("file", "old");
        const std::string path = dir.Path("file");
        if (setxattr(path.c_str(), "user.glyphmill", "kept", 4, 0) != 0 &&
            std::string(c.faults).find("etxattr") != std::string::npos) {
            std::cout << "this file system keeps no user attributes: the row is not checked\n";
            continue;
        }
        bool committed = false;
        const char* step = nullptr;
        int error = 0;
        {
            platform::CReplacement replacement(0);
            CFaults scope(c.faults);
            ASSERT_TRUE(replacement.Create(path, &error)) << error;
            ASSERT_EQ(write(replacement.Handle(), "new", 3), 3);
            committed = replacement.Commit(open(path.c_str(), O_RDONLY), c.options, &step, &error);
        }
        EXPECT_EQ(committed, c.step == nullptr);
        if (c.step != nullptr) {
            EXPECT_STREQ(step, c.step);
            EXPECT_EQ(error, c.error) << platform::ErrorText(error);
        }
        const bool renamed = c.step == nullptr || std::string(c.step) == "flushing the folder of";
        EXPECT_EQ(dir.Read("file"), renamed ? "new" : "old");
        std::vector<std::string> names;
        ASSERT_TRUE(platform::ListFolder(dir.Path("").c_str(), &names, &error));
        EXPECT_EQ(names, std::vector<std::string>{"file"}) << "a temporary file was left";
    }
}

}  // namespace
