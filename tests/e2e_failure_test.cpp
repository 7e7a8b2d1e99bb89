// End-to-end runs where files cannot be opened, read or written, or where the
// input and the output are one file: an error on standard error and exit 1,
// never a silent success.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "tests/support/run_tool.h"

namespace {

// An input that cannot be opened, or that opens but can never be read (a
// folder, a closed or write-only standard input), stops the run before the
// output is opened: an existing output keeps its bytes and a new one is not
// made.
TEST(EndToEndFailure, UnreadableInputLeavesTheOutputAlone)
{
    CScratchDir dir;
    ASSERT_EQ(mkdir(dir.Path("folder").c_str(), 0700), 0);
    const std::string missing = Quote(dir.Path("missing"));
    const std::string folder = Quote(dir.Path("folder"));
    struct UnreadableCase {
        const char* name;
        std::string input;  // arguments or redirections naming the input
        std::string err;
    };
    const UnreadableCase cases[] = {
        {"missing file", "-f" + missing, "Error opening " + missing + " for input.\n"},
        // Windows refuses to open a directory as a file at all.
        {"folder", "-f" + folder,
         ToolIsWindows() ? "Error opening " + folder + " for input.\n"
                         : "Error reading " + folder + ": Is a directory.\n"},
        {"folder as standard input", "<" + folder, "Error reading standard input: Is a directory.\n"},
        // A standard input started closed, or open for writing only: every
        // read would fail, so none is tried.
        {"closed standard input", "<&-", "Error reading standard input: Bad file descriptor.\n"},
        {"write-only standard input", "0>" + Quote(dir.Path("writeonly")),
         "Error reading standard input: Bad file descriptor.\n"},
        // Named, a closed standard input is no more readable: the null device
        // that holds its place is never read as an empty input.
        {"closed standard input named", "-f/dev/stdin <&-", "Error reading '/dev/stdin': Bad file descriptor.\n"},
        {"closed standard input by number", "-f/proc/self/fd/0 <&-",
         "Error reading '/proc/self/fd/0': Bad file descriptor.\n"},
    };
    for (const UnreadableCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (ToolIsWindows() && c.input.find_first_of("<>") != std::string::npos) {
            continue;  // wine's standard handles come from a POSIX shell
        }
        dir.Write("kept", "precious\n");
        const ToolRun existing = RunTool("-u -q -o" + Quote(dir.Path("kept")) + " " + c.input);
        EXPECT_EQ(existing.err, AsTextStream(c.err));
        EXPECT_EQ(existing.status, 1);
        EXPECT_EQ(dir.Read("kept"), "precious\n");

        const ToolRun fresh = RunTool("-u -q -o" + Quote(dir.Path("new")) + " " + c.input);
        EXPECT_EQ(fresh.status, 1);
        EXPECT_FALSE(dir.Exists("new"));
    }
}

// A tool started with standard error closed must not hand descriptor 2 to
// the output file, or its messages would land in the output.
TEST(EndToEndFailure, ClosedStandardErrorNeverReachesTheOutput)
{
    if (ToolIsWindows()) {
        GTEST_SKIP() << "closed standard descriptors are a POSIX matter";
    }
    CScratchDir dir;
    ASSERT_EQ(mkdir(dir.Path("folder").c_str(), 0700), 0);
    const std::string out = Quote(dir.Path("out"));
    const std::string text = "a line\n";
    struct Case {
        const char* name;
        const std::string* input;
        std::string redirections;
        const char* faults;  // GLYPHMILL_FAULTS for the preloaded shim, or none
        std::string out;     // what the output file holds after the run
    };
    const Case cases[] = {
        // Standard input open for writing only: refused before the output is opened.
        {"write-only standard input", nullptr, "2>&- 0>" + Quote(dir.Path("writeonly")), nullptr, ""},
        {"folder as standard input", nullptr, "2>&- <" + Quote(dir.Path("folder")), nullptr, ""},
#if defined(GLYPHMILL_FAULTINJECT)
        // The output opens on the lowest free descriptor (2, were standard
        // error not reserved first), and an error comes while it is open: the
        // read after the text (the text still reaches the output, the message
        // must not), or the output's first write. The shim never fails a call
        // on descriptor 2, so an output there would also make the write row
        // succeed.
        {"read error with the output open", &text, "2>&-", "read:eio:2", text},
        {"write error with the output open", &text, "2>&-", "write:eio:1", ""},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.faults != nullptr) {
#if defined(GLYPHMILL_FAULTINJECT)
            setenv("GLYPHMILL_FAULTS", c.faults, 1);
            setenv("LD_PRELOAD", GLYPHMILL_FAULTINJECT, 1);
#endif
        }
        const ToolRun run = RunTool("-u -q -o" + out, c.input, c.redirections);
        unsetenv("LD_PRELOAD");
        unsetenv("GLYPHMILL_FAULTS");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(dir.Exists("out") ? dir.Read("out") : "", c.out);
    }
}

struct IoFailureCase {
    const char* name;
    std::string arguments;
    std::string redirections;
    std::string err;
    bool posixOnly = false;  // names a POSIX device
};

TEST(EndToEndFailure, ErrorsNameTheFileAndReason)
{
    const IoFailureCase cases[] = {
        {"full device as -o", "-u -q -o/dev/full", "", "Error writing '/dev/full': No space left on device.\n"},
        {"full device as standard output", "-u -q", ">/dev/full",
         "Error writing standard output: No space left on device.\n"},
        {"closed standard output", "-u -q", ">&-", "Error writing standard output: Bad file descriptor.\n"},
        // Named, it fails the same way instead of writing to the null device.
        {"closed standard output named", "-u -q -o/dev/stdout", ">&-",
         "Error writing '/dev/stdout': Bad file descriptor.\n", true},
        {"closed standard output by number", "-u -q -o/dev/fd/1", ">&-",
         "Error writing '/dev/fd/1': Bad file descriptor.\n", true},
        {"closed standard output read by name", "-u -q -f/dev/fd/1", ">&-",
         "Error reading '/dev/fd/1': Bad file descriptor.\n", true},
        // The two open errors have fixed texts, and quote the name as typed.
        {"empty input name", "-u -q -f=", "", "Error opening '' for input.\n"},
        {"output in a missing folder", "-u -q -o/nonexistent-dir/out.txt", "",
         "Error opening '/nonexistent-dir/out.txt' for output.\n"},
        // Control bytes, bytes above 0x7E and the backslash are shown escaped:
        // the message stays one line and sends the terminal no command. (A
        // byte above 0x7E is escaped alike; wine would recode it on its way in.)
        {"name shown escaped", "-u -q " + Quote("-fno\nsuch\x1b[2J\\"), "",
         "Error opening 'no\\x0asuch\\x1b[2J\\\\' for input.\n"},
    };
    const std::string input(100000, 'x');
    for (const IoFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.posixOnly && ToolIsWindows()) {
            continue;
        }
        const ToolRun run = RunTool(c.arguments, &input, c.redirections);
        EXPECT_EQ(run.err, AsTextStream(c.err));
        EXPECT_EQ(run.status, 1);
    }
}

TEST(EndToEndFailure, RefusesToWriteTheFileItReads)
{
    CScratchDir dir;
    const std::string text = "line one\r\nline two\r\n";
    dir.Write("text", text);
    ASSERT_EQ(link(dir.Path("text").c_str(), dir.Path("hard").c_str()), 0);
    ASSERT_EQ(symlink(dir.Path("text").c_str(), dir.Path("soft").c_str()), 0);
    const std::string in = Quote(dir.Path("text"));
    struct SameCase {
        const char* name;
        std::string arguments;
        std::string redirections;
        std::string err;
    };
    const std::string sameErr = "Error: " + in + " and " + in + " are the same file.\n";
    const SameCase cases[] = {
        {"same name", "-f" + in + " -o" + in, "", sameErr},
        {"other spelling", "-f" + in + " -o" + Quote(dir.Path("./text")), "", ""},
        {"hard link", "-f" + in + " -o" + Quote(dir.Path("hard")), "", ""},
        {"symbolic link", "-f" + Quote(dir.Path("soft")) + " -o" + in, "", ""},
        {"standard input is the output", "-o" + in + " <" + in, "",
         "Error: standard input and " + in + " are the same file.\n"},
        {"appending to the input", "-f" + in, ">>" + in, "Error: " + in + " and standard output are the same file.\n"},
    };
    for (const SameCase& c : cases) {
        SCOPED_TRACE(c.name);
        // wine cannot identify a file behind a standard handle inherited from
        // a POSIX shell (GetFileInformationByHandle fails on it); the Windows
        // build checks these cases through cmd.exe redirections instead.
        if (ToolIsWindows() && (c.arguments.find('<') != std::string::npos || !c.redirections.empty())) {
            continue;
        }
        const ToolRun run = RunTool("-u -q " + c.arguments, nullptr, c.redirections);
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, AsTextStream(c.err));
        }
        EXPECT_NE(run.err.find("are the same file"), std::string::npos) << run.err;
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(dir.Read("text"), text);
    }
}

// A line typed into the tool must come out before the tool waits for the next.
TEST(EndToEndFailure, LinesLeaveBeforeTheInputCloses)
{
    int toTool[2];
    int fromTool[2];
    ASSERT_EQ(pipe(toTool), 0);
    ASSERT_EQ(pipe(fromTool), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(toTool[0], 0);
        dup2(fromTool[1], 1);
        close(toTool[1]);
        close(fromTool[0]);
        execl(ToolPath().c_str(), "glyphmill", "-w", "-q", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toTool[0]);
    close(fromTool[1]);
    ASSERT_EQ(write(toTool[1], "first\n", 6), 6);
    pollfd ready{fromTool[0], POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 10000), 1) << "the line did not come out";
    char buffer[64] = {};
    const ssize_t got = read(fromTool[0], buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got > 0 ? got : 0)), "first\r\n");
    close(toTool[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fromTool[0]);
}

}  // namespace
