// glyphmill.exe started by cmd.exe, whose redirections hand it real Windows
// file handles (wine cannot identify the handles a POSIX shell passes): the
// tool must still refuse to write the file it reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include "tests/support/run_tool.h"

namespace {

// The name wine gives a POSIX path: drive Z: is the root folder.
std::string WindowsPath(const std::string& path)
{
    std::string windows = "Z:";
    for (char c : path) {
        windows += c == '/' ? '\\' : c;
    }
    return windows;
}

// Runs glyphmill.exe with `arguments` (cmd.exe syntax) from cmd.exe under wine.
ToolRun RunFromCmd(const std::string& arguments, const CScratchDir& dir)
{
    const std::string commandLine = WindowsPath(GLYPHMILL_WINDOWS_EXE) + " " + arguments;
    // Quiet: the launcher would add its report of a failing status to standard error.
    const std::string command = "GLYPHMILL_WINE_QUIET=1 " + Quote(GLYPHMILL_WINE_RUN) + " " +
                                Quote(GLYPHMILL_WINE_PREFIX) + " cmd /c " + Quote(commandLine) + " </dev/null >" +
                                Quote(dir.Path("stdout")) + " 2>" + Quote(dir.Path("stderr"));
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = dir.Read("stdout");
    run.err = dir.Read("stderr");
    return run;
}

TEST(WindowsHandles, RefusesToWriteTheFileItReadsThroughRedirections)
{
    struct Case {
        const char* name;
        std::string arguments;
        std::string err;
        int status;
    };
    CScratchDir dir;
    const std::string text = WindowsPath(dir.Path("text"));
    const std::string other = WindowsPath(dir.Path("other"));
    // Messages show each backslash of a name as two.
    std::string shown;
    for (char c : text) {
        shown += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    const Case cases[] = {
        {"standard input is the output", "-u -q -o" + text + " < " + text,
         "Error: standard input and '" + shown + "' are the same file.\r\n", 1},
        {"appending to the input", "-u -q -f" + text + " >> " + text,
         "Error: '" + shown + "' and standard output are the same file.\r\n", 1},
        // Another file behind the same kind of handle is converted as usual.
        {"standard input is another file", "-u -q -o" + other + " < " + text, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.Write("text", "one\r\ntwo\r\n");
        const ToolRun run = RunFromCmd(c.arguments, dir);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(dir.Read("text"), "one\r\ntwo\r\n");
    }
    EXPECT_EQ(dir.Read("other"), "one\ntwo\n");
}

}  // namespace
