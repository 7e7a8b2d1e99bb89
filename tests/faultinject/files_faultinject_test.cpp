// glyphmill-files under the shim: whatever call fails, and whatever signal
// comes, the file is wholly old or wholly new, no temporary file is left,
// and a failure is one line with exit status 1.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <sys/xattr.h>

#include "tests/support/run_tool.h"

namespace {

struct FilesFaultRun {
    int status = -1;  // 128 + N when a signal N ended the run
    std::string err;
    std::string bytes;     // the file after the run
    std::string other;     // z.txt after the run
    std::string leftover;  // anything else in its folder
    unsigned long injected = 0;
};

// A coverage build's complaints about its own data files (which the size
// limit also stops) are the instrumentation's, not the program's.
std::string WithoutCoverageLines(const std::string& err)
{
    std::string kept;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        end = end == std::string::npos ? err.size() : end + 1;
        if (err.compare(start, 24, "libgcov profiling error:") != 0) {
            kept.append(err, start, end - start);
        }
        start = end;
    }
    return kept;
}

// A tree of f.txt (`text`, with an extended attribute where the file system
// keeps them) and z.txt ("z\r\n"); `prefix` is shell run first.
FilesFaultRun RunFilesWithFaults(const std::string& faults, const std::string& text,
                                 const std::string& arguments = "-u -j 1 f.txt", const std::string& prefix = "")
{
    CScratchDir dir;
    (void)std::system(("mkdir " + Quote(dir.Path("tree"))).c_str());
    dir.Write("tree/f.txt", text);
    dir.Write("tree/z.txt", "z\r\n");
    (void)setxattr(dir.Path("tree/f.txt").c_str(), "user.glyphmill", "kept", 4, 0);
    const std::string command =
        "cd " + Quote(dir.Path("tree")) + " && " + prefix + " GLYPHMILL_FAULTS=" + Quote(faults) +
        " GLYPHMILL_FAULT_LOG=" + Quote(dir.Path("log")) + " LD_PRELOAD=" + Quote(GLYPHMILL_FAULTINJECT) + " " +
        Quote(GLYPHMILL_FILES_EXE) + " " + arguments + " 2>" + Quote(dir.Path("err"));
    const int raw = std::system(command.c_str());
    FilesFaultRun run;
    run.status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = WithoutCoverageLines(dir.Read("err"));
    run.bytes = dir.Read("tree/f.txt");
    run.other = dir.Read("tree/z.txt");
    (void)std::system(
        ("ls -A " + Quote(dir.Path("tree")) + " | grep -v '^[fz].txt$' >" + Quote(dir.Path("ls"))).c_str());
    run.leftover = dir.Read("ls");
    unsigned long ignored = 0;
    std::sscanf(dir.Read("log").c_str(), "read %lu write %lu open %lu close %lu injected %lu", &ignored, &ignored,
                &ignored, &ignored, &run.injected);
    return run;
}

const std::string kText = [] {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "line " + std::to_string(i) + "\r\n";
    }
    return text;
}();

std::string Converted(std::string text)
{
    for (size_t at; (at = text.find('\r')) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

TEST(FilesFaultInjection, EveryFileWhollyOldOrWhollyNew)
{
    const std::string& text = kText;
    const std::string converted = Converted(kText);
    const char* const kCalls[] = {"read", "write", "open", "close", "fsync", "rename"};
    for (const char* call : kCalls) {
        for (int number = 1; number <= 6; ++number) {
            const std::string fault =
                std::string(call) + ":" + (number % 2 ? "eio:" : "enospc:") + std::to_string(number);
            SCOPED_TRACE(fault);
            const FilesFaultRun run = RunFilesWithFaults(fault, text);
            EXPECT_EQ(run.leftover, "");
            if (run.status == 0) {
                EXPECT_EQ(run.bytes, converted);
                EXPECT_EQ(run.err, "");
                continue;
            }
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err.rfind("glyphmill-files: error ", 0), 0u) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
            // Only a failed flush of the folder comes after the rename.
            const bool renamed = run.err.find("flushing the folder") != std::string::npos;
            EXPECT_EQ(run.bytes, renamed ? converted : text);
        }
    }
    // A full disk: the original stays, the temporary file goes.
    const FilesFaultRun full = RunFilesWithFaults("write:enospc:1:1", text);
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "glyphmill-files: error writing 'f.txt': No space left on device.\n");
    EXPECT_EQ(full.bytes, text);
    EXPECT_EQ(full.leftover, "");
}

// A failure to give the new file what the original had is named with its
// step and error (each step's failure is a row of PlatformFaults); an owner
// that cannot be kept is a file not converted.
struct StepCase {
    const char* name;
    std::string faults;
    std::string arguments;
    int status;
    std::string err;
    std::string text = kText;
};

// Already converted for 400 KB, so that the comparison reads the original at
// offsets (pread) and the copy of that equal start reads it again.
const std::string kEqualStart = Converted(kText) + Converted(kText) + "end\r\n";

TEST(FilesFaultInjection, AStepThatFailsIsNamedWithItsError)
{
    const StepCase kCases[] = {
        {"owner refused", "fchown:eperm:1", "-u f.txt", 1,
         "glyphmill-files: not converted 'f.txt': its owner and group cannot be kept (Operation not permitted); "
         "--allow-chown converts it as yours.\n"},
        {"owner refused, allowed", "fchown:eperm:1", "-u --allow-chown f.txt", 0, ""},
        // Once "...: Success.".
        {"attribute list", "flistxattr:eio:1", "-u f.txt", 1,
         "glyphmill-files: error copying the extended attributes of 'f.txt': Input/output error.\n"},
        {"read at an offset", "pread:eio:5:1", "-u f.txt", 1,
         "glyphmill-files: error reading 'f.txt': Input/output error.\n", kEqualStart},
        {"the open file looked at", "fstat:eio:2", "-u f.txt", 1,
         "glyphmill-files: error reading 'f.txt': Input/output error.\n"},
        // Once "it changed while being converted".
        {"the name looked at again", "fstatat:eio:1", "-u f.txt", 1,
         "glyphmill-files: error reading the attributes of 'f.txt': Input/output error.\n"},
        {"a folder listed", "opendir:eio:1", "-r -u .", 1, "glyphmill-files: error reading '.': Input/output error.\n"},
    };
    for (const StepCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const FilesFaultRun run = RunFilesWithFaults(c.faults, c.text, c.arguments);
        EXPECT_GT(run.injected, 0u) << "the shim did not act";
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(run.bytes == (c.status == 0 ? Converted(c.text) : c.text)) << "the file is not what it should be";
        EXPECT_EQ(run.leftover, "");
    }
}

// A signal that ends the run, at a known call: the temporary file in flight
// is removed, the file is wholly old or wholly new, and the run ends by the
// signal. One ignored at start stays ignored; a file that outgrows the size
// limit fails alone.
struct SignalCase {
    const char* name;
    std::string prefix;
    std::string faults;
    int status;
    std::string err;
};

TEST(FilesFaultInjection, SignalsLeaveNoTemporaryFile)
{
    const SignalCase kCases[] = {
        {"SIGTERM while writing", "", "write:sigterm:1", 128 + SIGTERM, ""},
        {"SIGINT while flushing", "", "fsync:sigint:1", 128 + SIGINT, ""},
        {"SIGHUP at the rename", "", "rename:sighup:1", 128 + SIGHUP, ""},
        // At every open: the first one, before any temporary file, and the one that makes it.
        {"SIGTERM at each open", "", "open:sigterm:1:1", 128 + SIGTERM, ""},
        // nohup: the run goes on and converts both files.
        {"SIGHUP ignored at start", "trap '' HUP;", "write:sighup:1", 0, ""},
        {"file size limit", "ulimit -f 8;", "", 1, "glyphmill-files: error writing 'f.txt': File too large.\n"},
    };
    for (const SignalCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const FilesFaultRun run = RunFilesWithFaults(c.faults, kText, "-u -j 1 f.txt z.txt", c.prefix);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.leftover, "");
        if (c.status < 128) {  // the shell may say how a run it started ended
            EXPECT_EQ(run.err, c.err);
            EXPECT_EQ(run.other, "z\n") << "the run did not go on";
        }
        if (c.status == 0) {
            EXPECT_TRUE(run.bytes == Converted(kText)) << "not converted";
        } else {
            EXPECT_TRUE(run.bytes == kText || run.bytes == Converted(kText)) << "neither old nor new";
        }
    }
}

}  // namespace
