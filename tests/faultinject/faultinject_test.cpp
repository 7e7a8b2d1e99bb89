// The real binary under a shim that makes its system calls fail on a
// schedule. Interrupted calls and short counts must not change a byte of the
// output; real errors must be reported in one line with exit status 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "tests/support/run_tool.h"

namespace {

struct FaultRun {
    int status = -1;
    std::string out;
    std::string err;
    unsigned long reads = 0;
    unsigned long writes = 0;
    unsigned long injected = 0;
};

// Runs the tool with the shim preloaded and `faults` as its schedule; the
// input comes from the file `in`, through -f or standard input.
FaultRun RunWithFaults(const std::string& options, const std::string& faults, const std::string& text, bool namedFiles)
{
    CScratchDir dir;
    dir.Write("in", text);
    std::string command = "GLYPHMILL_FAULTS=" + Quote(faults) + " GLYPHMILL_FAULT_LOG=" + Quote(dir.Path("log")) +
                          " LD_PRELOAD=" + Quote(GLYPHMILL_FAULTINJECT) + " " + Quote(ToolPath()) + " -q " + options;
    command += namedFiles ? " -f" + Quote(dir.Path("in")) + " -o" + Quote(dir.Path("out"))
                          : " <" + Quote(dir.Path("in")) + " >" + Quote(dir.Path("out"));
    command += " 2>" + Quote(dir.Path("err"));
    const int raw = std::system(command.c_str());
    FaultRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = dir.Read("out");
    // Named files are reported as 'in' and 'out', whatever the scratch folder.
    run.err = dir.Read("err");
    for (size_t at; (at = run.err.find(dir.Path(""))) != std::string::npos;) {
        run.err.erase(at, dir.Path("").size());
    }
    unsigned long opens = 0;
    unsigned long closes = 0;
    std::sscanf(dir.Read("log").c_str(), "read %lu write %lu open %lu close %lu injected %lu", &run.reads, &run.writes,
                &opens, &closes, &run.injected);
    return run;
}

// Long enough for several reads and writes, with every kind of line end, a
// line longer than a piece, entity texts, escapes and high bytes.
std::string SampleText()
{
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "line " + std::to_string(i) + " &amp; &lt;tag&gt; 50%25 caf\xe9\r\n";
        text += i % 500 == 0 ? std::string(20000, 'x') + "&eacute;%41\n" : "plain\rcr\n";
    }
    return text;
}

struct SurvivedCase {
    const char* name;
    std::string options;
    std::string faults;
};

TEST(FaultInjection, InterruptedAndShortCallsChangeNothing)
{
    const std::string text = SampleText();
    const SurvivedCase cases[] = {
        {"interrupted reads", "-h-", "read:eintr:1:2"},
        {"short reads", "-h-", "read:short:1:1"},
        {"short reads, uri", "-i-", "read:short:2:3"},
        {"interrupted writes", "-w", "write:eintr:1:2"},
        {"short writes", "-w", "write:short:1:1"},
        {"everything at once", "-h", "read:eintr:1:3,read:short:2:3,write:eintr:1:3,write:short:2:3"},
        {"interrupted close", "-u", "close:eintr:1:1"},
    };
    for (const SurvivedCase& c : cases) {
        for (const bool namedFiles : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (namedFiles ? ", -f/-o" : ", standard streams"));
            const FaultRun clean = RunWithFaults(c.options, "", text, namedFiles);
            const FaultRun faulty = RunWithFaults(c.options, c.faults, text, namedFiles);
            ASSERT_EQ(clean.status, 0) << clean.err;
            EXPECT_GT(faulty.injected, 0u) << "the shim did not act";
            EXPECT_EQ(faulty.status, 0) << faulty.err;
            EXPECT_EQ(faulty.err, "");
            EXPECT_TRUE(faulty.out == clean.out) << "output differs from the clean run";
        }
    }
}

struct FailedCase {
    const char* name;
    std::string faults;
    bool namedFiles;  // -f in -o out rather than the standard streams
    std::string err;
};

// Whatever the error, one line on standard error and exit status 1.
void ExpectReportedFailure(const FaultRun& run, const std::string& expectedStart)
{
    EXPECT_GT(run.injected, 0u) << "the shim did not act";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.compare(0, expectedStart.size(), expectedStart), 0) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(FaultInjection, ErrorsAreReportedAndFailTheRun)
{
    const std::string text = SampleText();
    const FailedCase cases[] = {
        {"first read", "read:eio:1", false, "Error reading standard input: Input/output error.\n"},
        {"later read", "read:eio:3", true, "Error reading 'in': Input/output error.\n"},
        {"read after interruptions", "read:eintr:1:1000,read:eio:2", false,
         "Error reading standard input: Input/output error.\n"},
        {"first write", "write:enospc:1", false, "Error writing standard output: No space left on device.\n"},
        {"write after short ones", "write:short:1:1,write:eio:4", true, "Error writing 'out': Input/output error.\n"},
        // A write that takes nothing would be retried for ever.
        {"write that moves nothing", "write:short:1:1,write:nothing:3", true,
         "Error writing 'out': No space left on device.\n"},
        // The last data may only fail to reach the disk when the file is closed.
        {"closing the output", "close:eio:1", true, "Error closing 'out': Input/output error.\n"},
        {"closing standard output", "close:enospc:1", false,
         "Error closing standard output: No space left on device.\n"},
        {"closing the input", "close:eio:2", true, "Error closing 'in': Input/output error.\n"},
        {"opening the input", "open:eio:1", true, "Error opening 'in' for input.\n"},
        {"opening the output", "open:enospc:2", true, "Error opening 'out' for output.\n"},
    };
    for (const FailedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FaultRun run = RunWithFaults("-w", c.faults, text, c.namedFiles);
        ExpectReportedFailure(run, "Error ");
        EXPECT_EQ(run.err, c.err);
    }
}

// Fails the read or write numbered `call` of a run, for every number up to
// the run's count when calls are few, at spread positions when they are many.
void FailEachCall(const std::string& baseFaults, const char* call, const char* kind, const char* errStart)
{
    const std::string text = SampleText();
    const FaultRun clean = RunWithFaults("-h", baseFaults, text, true);
    ASSERT_EQ(clean.status, 0) << clean.err;
    const unsigned long calls = std::string(call) == "read" ? clean.reads : clean.writes;
    ASSERT_GT(calls, 2u);
    for (unsigned long number = 1; number <= calls; number += 1 + number / 4) {
        SCOPED_TRACE(std::string(call) + " " + std::to_string(number) + " of " + std::to_string(calls));
        const std::string fault = std::string(call) + ":" + kind + ":" + std::to_string(number);
        const std::string faults = baseFaults.empty() ? fault : baseFaults + "," + fault;
        ExpectReportedFailure(RunWithFaults("-h", faults, text, true), errStart);
    }
}

TEST(FaultInjection, AFailureAtAnyCallFailsTheRun)
{
    FailEachCall("", "read", "eio", "Error reading 'in': Input/output error.");
    FailEachCall("", "write", "enospc", "Error writing 'out': No space left on device.");
    // Short counts make many calls, so failures land inside lines and pieces.
    FailEachCall("read:short:1:1", "read", "eio", "Error reading 'in': Input/output error.");
    FailEachCall("read:short:1:1", "write", "enospc", "Error writing 'out': No space left on device.");
    FailEachCall("write:short:1:1", "write", "eio", "Error writing 'out': Input/output error.");
}

}  // namespace
