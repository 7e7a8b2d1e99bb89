// End-to-end runs with inputs and outputs that are not regular files: FIFOs
// work like pipes (but one FIFO is never both input and output), the null
// device and a terminal may be both, and a closed standard input is an error,
// not an empty file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utility>

#include "tests/support/run_tool.h"

namespace {

// Starts `command` in the background; opening a FIFO blocks until both ends are open.
void StartInBackground(const std::string& command)
{
    ASSERT_EQ(std::system(("(" + command + ") >/dev/null 2>&1 &").c_str()), 0);
}

TEST(EndToEndNonRegularFiles, FifoAsInputAndAsOutput)
{
    CScratchDir dir;
    const std::string fifo = dir.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    StartInBackground("printf 'one\\r\\ntwo\\n' >" + Quote(fifo));
    const ToolRun fromFifo = RunTool("-w -q -f" + Quote(fifo));
    EXPECT_EQ(fromFifo.status, 0) << fromFifo.err;
    EXPECT_EQ(fromFifo.out, "one\r\ntwo\r\n");

    StartInBackground("cat " + Quote(fifo) + " >" + Quote(dir.Path("copy")));
    const std::string input = "a & b\n";
    const ToolRun toFifo = RunTool("-h -q -o" + Quote(fifo), &input);
    EXPECT_EQ(toFifo.status, 0) << toFifo.err;
    // cat has the whole text once the tool has closed its end; wait for cat to write it.
    for (int i = 0; i < 100 && dir.Read("copy") != "a &amp; b\n"; ++i) {
        (void)std::system("sleep 0.05");
    }
    EXPECT_EQ(dir.Read("copy"), "a &amp; b\n");
}

// Reading a FIFO while writing it reads back what was written, for ever.
TEST(EndToEndNonRegularFiles, RefusesOneFifoAsInputAndOutput)
{
    CScratchDir dir;
    const std::string fifo = Quote(dir.Path("fifo"));
    ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
    struct SameFifoCase {
        const char* name;
        std::string arguments;
        std::string redirections;
        std::string err;
    };
    const SameFifoCase cases[] = {
        // Refused by name before the open, which would wait for a writer for ever.
        {"named twice", "-f" + fifo + " -o" + fifo, "", "Error: " + fifo + " and " + fifo + " are the same file.\n"},
        {"named and standard output", "-f" + fifo, "1<>" + fifo,
         "Error: " + fifo + " and standard output are the same file.\n"},
        {"standard input and -o", "-o" + fifo, "<" + fifo,
         "Error: standard input and " + fifo + " are the same file.\n"},
    };
    for (const SameFifoCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The shell's own redirection from the FIFO waits for a writer: this
        // one gives up after a while if nothing opens the FIFO.
        if (c.redirections[0] == '<') {
            StartInBackground("timeout 20 sh -c " + Quote("sleep 0.2; printf 'hello\\r\\n' >" + fifo));
        }
        const ToolRun run = RunToolWithin(10, "-u -q " + c.arguments, nullptr, c.redirections);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, 1);
    }
}

// Devices and terminals are not files that a run can destroy: sharing them is fine.
TEST(EndToEndNonRegularFiles, NullDeviceAsInputAndOutputIsNotRefused)
{
    const std::pair<std::string, std::string> cases[] = {
        {"-f/dev/null -o/dev/null", ""}, {"-o/dev/null", "</dev/null"}, {"", "</dev/null >/dev/null"}};
    for (const auto& [arguments, redirections] : cases) {
        SCOPED_TRACE(arguments + redirections);
        const ToolRun run = RunToolWithin(10, "-u -q " + arguments, nullptr, redirections);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0);
    }
}

// A terminal (the pseudo-terminal script(1) makes) as both standard streams,
// or named by /dev/tty, the way an interactive user runs the tool.
TEST(EndToEndNonRegularFiles, TerminalAsInputAndOutputIsNotRefused)
{
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script(1) from util-linux is not installed: no terminal to test with";
    }
    CScratchDir dir;
    const char* const cases[] = {"", "-f/dev/tty -o/dev/tty"};
    for (const char* arguments : cases) {
        SCOPED_TRACE(arguments);
        const std::string inTerminal = "test -t 0 && test -t 1 && " + Quote(ToolPath()) + " -h -q " + arguments;
        // script passes its input to the terminal, then the end of it (Ctrl-D).
        const std::string command = "printf 'a&b\\n' | timeout 20 script -qec " + Quote(inTerminal) + " /dev/null >" +
                                    Quote(dir.Path("seen")) + " 2>&1";
        const int status = std::system(command.c_str());
        const std::string seen = dir.Read("seen");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
        // The terminal echoes the typed line, then shows the tool's.
        EXPECT_NE(seen.find("a&amp;b"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("same file"), std::string::npos) << seen;
    }
}

TEST(EndToEndNonRegularFiles, ClosedStandardInputIsAReadError)
{
    const ToolRun run = RunTool("-u -q", nullptr, "<&-");
    EXPECT_EQ(run.err, "Error reading standard input: Bad file descriptor.\n");
    EXPECT_EQ(run.status, 1);
}

}  // namespace
