// End-to-end runs with inputs and outputs that are not regular files: FIFOs
// work like pipes, and a closed standard input is an error, not an empty file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

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

TEST(EndToEndNonRegularFiles, ClosedStandardInputIsAReadError)
{
    const ToolRun run = RunTool("-u -q", nullptr, "<&-");
    EXPECT_EQ(run.err, "Error reading standard input: Bad file descriptor.\n");
    EXPECT_EQ(run.status, 1);
}

}  // namespace
