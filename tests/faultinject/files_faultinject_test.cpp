// glyphmill-files under the shim: whatever call fails, the file is wholly
// old or wholly new, no temporary file is left, and a failure is one line
// with exit status 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "tests/support/run_tool.h"

namespace {

struct FilesFaultRun {
    int status = -1;
    std::string err;
    std::string bytes;     // the file after the run
    std::string leftover;  // anything else in its folder
    unsigned long injected = 0;
};

FilesFaultRun RunFilesWithFaults(const std::string& faults, const std::string& text)
{
    CScratchDir dir;
    (void)std::system(("mkdir " + Quote(dir.Path("tree"))).c_str());
    dir.Write("tree/f.txt", text);
    const std::string command = "cd " + Quote(dir.Path("tree")) + " && GLYPHMILL_FAULTS=" + Quote(faults) +
                                " GLYPHMILL_FAULT_LOG=" + Quote(dir.Path("log")) +
                                " LD_PRELOAD=" + Quote(GLYPHMILL_FAULTINJECT) + " " + Quote(GLYPHMILL_FILES_EXE) +
                                " -u -j 1 f.txt 2>" + Quote(dir.Path("err"));
    const int raw = std::system(command.c_str());
    FilesFaultRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = dir.Read("err");
    run.bytes = dir.Read("tree/f.txt");
    (void)std::system(("ls -A " + Quote(dir.Path("tree")) + " | grep -v '^f.txt$' >" + Quote(dir.Path("ls"))).c_str());
    run.leftover = dir.Read("ls");
    unsigned long ignored = 0;
    std::sscanf(dir.Read("log").c_str(), "read %lu write %lu open %lu close %lu injected %lu", &ignored, &ignored,
                &ignored, &ignored, &run.injected);
    return run;
}

TEST(FilesFaultInjection, EveryFileWhollyOldOrWhollyNew)
{
    std::string text;
    std::string converted;
    for (int i = 0; i < 20000; ++i) {
        text += "line " + std::to_string(i) + "\r\n";
        converted += "line " + std::to_string(i) + "\n";
    }
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

}  // namespace
