// The POSIX host's file calls with the fault-injection shim linked in: each
// failure of a system call is the caller's error, never a silent success,
// interruptions and short counts are retried, and a replacement that fails at
// any step leaves the original as it was and no temporary file behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
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

enum class Op { kOpenForReading, kOpenForWriting, kRead, kWrite, kClose };

// `op` on "in" (10 bytes) or "out" under `faults`; false with *error.
bool CallUnderFaults(const CScratchDir& dir, Op op, const char* faults, int* error)
{
    const std::string in = dir.Path("in");
    const std::string out = dir.Path("out");
    if (op == Op::kOpenForReading || op == Op::kOpenForWriting) {
        CFaults scope(faults);
        const platform::FileHandle file = op == Op::kOpenForReading ? platform::OpenForReading(in.c_str(), error)
                                                                    : platform::OpenForWriting(out.c_str(), error);
        return file != platform::kNoFile && close(file) == 0;
    }
    const int file =
        op == Op::kRead ? open(in.c_str(), O_RDONLY) : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (op == Op::kClose) {
        CFaults scope(faults);
        return platform::Close(file, error);
    }
    bool ok = false;
    {
        CFaults scope(faults);
        unsigned char buffer[16] = "0123456789";
        ok = op == Op::kRead ? platform::ReadSome(file, buffer, sizeof buffer, error) == 10
                             : platform::WriteAll(file, buffer, 10, error);
    }
    close(file);
    return ok && (op == Op::kRead || dir.Read("out") == "0123456789");
}

struct CallCase {
    const char* name;
    Op op;
    const char* faults;
    int error;  // 0: the call succeeds
};

TEST(PlatformFaults, FileCallsGiveTheSystemsErrorOrRetry)
{
    const CallCase kCases[] = {
        {"open for reading", Op::kOpenForReading, "open:eio:1", EIO},
        {"open for writing", Op::kOpenForWriting, "open:enospc:1", ENOSPC},
        {"read interrupted", Op::kRead, "read:eintr:1", 0},
        {"read failing", Op::kRead, "read:eio:1", EIO},
        {"write interrupted, then short", Op::kWrite, "write:eintr:1,write:short:2:1", 0},
        {"write taking nothing", Op::kWrite, "write:nothing:1", ENOSPC},  // never spins on a full file
        {"write failing after a short one", Op::kWrite, "write:short:1,write:enospc:2", ENOSPC},
        {"close failing", Op::kClose, "close:eio:1", EIO},
        {"close interrupted", Op::kClose, "close:eintr:1", 0},  // the descriptor is released: not retried
    };
    CScratchDir dir;
    dir.Write("in", "0123456789");
    for (const CallCase& c : kCases) {
        SCOPED_TRACE(c.name);
        int error = 0;
        EXPECT_EQ(CallUnderFaults(dir, c.op, c.faults, &error), c.error == 0);
        EXPECT_EQ(error, c.error) << platform::ErrorText(error);
    }
}

// A replacement of "file" whose Commit meets `faults`: the step it names and
// the error, the original whole (or, past the rename, the new text in place).
struct ReplaceCase {
    const char* name;
    const char* faults;
    platform::ReplaceOptions options;
    const char* step;  // nullptr: Commit succeeds
    int error;
    bool replaced;
};

platform::ReplaceOptions KeepTimes()
{
    platform::ReplaceOptions options;
    options.m_keepTimes = true;
    return options;
}

platform::ReplaceOptions AllowChown()
{
    platform::ReplaceOptions options;
    options.m_allowChown = true;
    return options;
}

TEST(PlatformFaults, AReplacementFailingAtAnyStepLeavesTheOriginal)
{
    const ReplaceCase kCases[] = {
        {"owner", "fchown:eio:1", {}, platform::kKeepingOwnerStep, EIO, false},
        {"owner refused", "fchown:eperm:1", {}, platform::kKeepingOwnerStep, EPERM, false},
        {"owner refused, allowed", "fchown:eperm:1", AllowChown(), nullptr, 0, true},
        {"mode", "fchmod:eio:1", {}, "setting the mode of", EIO, false},
        // Failing with errno left 0 once reported "Success".
        {"attribute list", "flistxattr:eio:1", {}, "copying the extended attributes of", EIO, false},
        {"attribute list, none on this file system", "flistxattr:enotsup:1", {}, nullptr, 0, true},
        {"attribute value", "fgetxattr:eio:1", {}, "copying the extended attributes of", EIO, false},
        {"attribute set", "fsetxattr:enospc:1", {}, "copying the extended attributes of", ENOSPC, false},
        {"times", "futimens:eio:1", KeepTimes(), "keeping the times of", EIO, false},
        {"flush", "fsync:eio:1", {}, "flushing", EIO, false},
        {"close of the new file", "close:enospc:2", {}, "writing", ENOSPC, false},  // the original is closed first
        {"rename", "rename:eio:1", {}, "renaming over", EIO, false},
        {"flush of the folder", "fsync:eio:2", {}, "flushing the folder of", EIO, true},
    };
    for (const ReplaceCase& c : kCases) {
        SCOPED_TRACE(c.name);
        CScratchDir dir;
        dir.Write("file", "old");
        const std::string path = dir.Path("file");
        if (setxattr(path.c_str(), "user.glyphmill", "kept", 4, 0) != 0 &&
            std::string(c.faults).find("etxattr") != std::string::npos) {
            std::cout << "this file system keeps no user attributes: the row is not checked\n";
            continue;
        }
        {
            platform::CReplacement replacement(0);
            int error = 0;
            ASSERT_TRUE(replacement.Create(path, &error)) << error;
            ASSERT_EQ(write(replacement.Handle(), "new", 3), 3);
            const char* step = nullptr;
            const int original = open(path.c_str(), O_RDONLY);
            bool committed = false;
            {
                CFaults scope(c.faults);
                committed = replacement.Commit(original, c.options, &step, &error);
            }
            EXPECT_EQ(committed, c.step == nullptr);
            if (c.step != nullptr) {
                EXPECT_STREQ(step, c.step);
                EXPECT_EQ(error, c.error) << platform::ErrorText(error);
            }
        }
        EXPECT_EQ(dir.Read("file"), c.replaced ? "new" : "old");
        std::vector<std::string> names;
        int error = 0;
        ASSERT_TRUE(platform::ListFolder(dir.Path("").c_str(), &names, &error));
        EXPECT_EQ(names, std::vector<std::string>{"file"}) << "a temporary file was left";
    }
}

// A temporary name someone else took meanwhile is passed over, and what is
// there is left alone; a folder where every name is taken gives EEXIST.
TEST(PlatformFaults, ATakenTemporaryNameIsPassedOver)
{
    CScratchDir dir;
    dir.Write("file", "old");
    int error = 0;
    {
        platform::CReplacement replacement(0);
        platform::CReplacement refused(1);
        {
            CFaults scope("open:eexist:1");
            EXPECT_TRUE(replacement.Create(dir.Path("file"), &error)) << error;
        }
        {
            CFaults scope("open:eexist:1:1");
            EXPECT_FALSE(refused.Create(dir.Path("file"), &error));
        }
        EXPECT_EQ(error, EEXIST);
    }
    EXPECT_EQ(dir.Read("file"), "old");
}

}  // namespace
