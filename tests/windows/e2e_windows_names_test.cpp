// Both Windows programs, under wine, on names the ANSI code page cannot hold
// or Windows' path rules would bend: each run converts exactly the file it
// names, or refuses with a message naming it, and leaves every other file
// byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/run_tool.h"

namespace {

const std::string kDos = "one\r\ntwo\r\n";
const std::string kUnix = "one\ntwo\n";
// 3 folders of 100 characters: the file's full name is over 300.
const std::string kLongFolder = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f');

// Every file of the tree, each holding kDos to begin with.
const std::vector<std::string> kTree = {
    "a.txt",
    "\xC4\x81.txt" /* ā */,
    "\xD0\xBA\xD0\xBE\xD1\x82.txt" /* кот */,
    "\xE6\x97\xA5\xE6\x9C\xAC.txt" /* 日本 */,
    "\xF0\x9F\x98\x80.txt" /* emoji */,
    "O.txt",
    "\xCE\xA9.txt" /* Ω, which best fit makes O */,
    "dup",
    "dup.",
    "dup ",
    "CON",
    "nul.txt",
    "sub/CON",
    "sub/x.txt",
    kLongFolder + "/long.txt",
};

ToolRun InTree(const CScratchDir& dir, const std::string& command)
{
    const std::string full = "cd " + Quote(dir.Path("tree")) + " && { export GLYPHMILL_WINE_QUIET=1; " + command +
                             "; } >" + Quote(dir.Path("out")) + " 2>" + Quote(dir.Path("err"));
    const int raw = std::system(full.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.Read("out"), dir.Read("err")};
}

void MakeTree(const CScratchDir& dir)
{
    ASSERT_EQ(
        std::system(("mkdir -p " + Quote(dir.Path("tree/sub")) + " " + Quote(dir.Path("tree/" + kLongFolder))).c_str()),
        0);
    for (const std::string& name : kTree) {
        dir.Write("tree/" + name, kDos);
    }
}

// The files whose bytes are kUnix after a run; every other one must be kDos.
std::vector<std::string> Converted(const CScratchDir& dir)
{
    std::vector<std::string> converted;
    for (const std::string& name : kTree) {
        const std::string bytes = dir.Read("tree/" + name);
        if (bytes == kUnix) {
            converted.push_back(name);
        } else {
            EXPECT_EQ(bytes, kDos) << name;
        }
    }
    return converted;
}

std::string Files()
{
    return Quote(GLYPHMILL_WINE_RUN) + " " + Quote(GLYPHMILL_WINE_PREFIX) + " " + Quote(GLYPHMILL_FILES_WINDOWS_EXE);
}

std::string Glyphmill()
{
    return Quote(GLYPHMILL_WINE_RUN) + " " + Quote(GLYPHMILL_WINE_PREFIX) + " " + Quote(GLYPHMILL_WINDOWS_EXE);
}

TEST(WindowsFileNames, EachProgramConvertsExactlyTheFileNamed)
{
    struct Case {
        const char* name;
        std::string operand;
        std::vector<std::string> converted;
    };
    const std::string drive = "Z:";  // wine's drive of the Linux root, where the tree is
    const Case kCases[] = {
        {"a.txt beside it is another file", "\xC4\x81.txt", {"\xC4\x81.txt"}},
        {"Cyrillic", "\xD0\xBA\xD0\xBE\xD1\x82.txt", {"\xD0\xBA\xD0\xBE\xD1\x82.txt"}},
        {"CJK", "\xE6\x97\xA5\xE6\x9C\xAC.txt", {"\xE6\x97\xA5\xE6\x9C\xAC.txt"}},
        {"emoji, outside the BMP", "\xF0\x9F\x98\x80.txt", {"\xF0\x9F\x98\x80.txt"}},
        {"trailing dot", "dup.", {"dup."}},
        {"trailing space", "dup ", {"dup "}},
        {"a reserved name in a folder", "sub/CON", {"sub/CON"}},
        {"a device name with a folder is the file", "./nul.txt", {"nul.txt"}},
        {"a path over 260 characters", kLongFolder + "/long.txt", {kLongFolder + "/long.txt"}},
        {"drive-relative: the drive's current folder", drive + "\xC4\x81.txt", {"\xC4\x81.txt"}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CScratchDir dir;
        MakeTree(dir);
        const ToolRun files = InTree(dir, Files() + " -u " + Quote(c.operand));
        EXPECT_EQ(files.status, 0);
        EXPECT_EQ(files.err, "");
        EXPECT_EQ(Converted(dir), c.converted);
        // glyphmill reads the file named and writes the file named.
        const ToolRun tool =
            InTree(dir, Glyphmill() + " -q -w " + Quote("-f=" + c.operand) + " " + Quote("-o=" + c.operand + ".out"));
        EXPECT_EQ(tool.status, 0);
        EXPECT_EQ(dir.Read("tree/" + c.converted[0] + ".out"), kDos);
    }
}

TEST(WindowsFileNames, AWalkReachesEveryNameAndNoDevice)
{
    // "Z:" is the drive's current folder, the tree, not the drive's root.
    for (const char* folder : {".", "Z:"}) {
        SCOPED_TRACE(folder);
        CScratchDir dir;
        MakeTree(dir);
        const ToolRun walk = InTree(dir, Files() + " -u -r " + folder);
        EXPECT_EQ(walk.status, 0);
        EXPECT_EQ(walk.err, "");
        EXPECT_EQ(Converted(dir).size(), kTree.size());
    }

    // Named alone, a reserved name is the device: skipped unopened, with a note;
    // with a folder (in the walk above, or ./nul.txt) it is the file.
    CScratchDir devices;
    MakeTree(devices);
    // Wine shows a Linux symbolic link as its target: it is still told, and the target kept.
    ASSERT_EQ(std::system(("ln -s a.txt " + Quote(devices.Path("tree/link"))).c_str()), 0);
    // Skips are notes that leave the status alone, named or walked.
    const ToolRun run = InTree(devices, Files() + " -u CON nul.txt COM1 link");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
              AsTextStream("glyphmill-files: skipped 'CON': not a regular file (a FIFO, device or socket).\n"
                           "glyphmill-files: skipped 'nul.txt': not a regular file (a FIFO, device or socket).\n"
                           "glyphmill-files: skipped 'COM1': not a regular file (a FIFO, device or socket).\n"
                           "glyphmill-files: skipped 'link': a symbolic link (--follow-symlinks converts its "
                           "target).\n"));
    EXPECT_EQ(Converted(devices), std::vector<std::string>{});
}

// A list holds UTF-8 names, and bytes no UTF-8 text holds name no file (a
// command line cannot carry them: wine makes them U+FFFD first).
TEST(WindowsFileNames, AUtf8ListOfNames)
{
    CScratchDir dir;
    MakeTree(dir);
    dir.Write("tree/\xC3\xADist", std::string("\xCE\xA9.txt\0dup.\0bad\xFF.txt\0", 21));
    const ToolRun run = InTree(dir, Files() + " -u --files0-from=\xC3\xADist");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, AsTextStream("glyphmill-files: error reading 'bad\\xff.txt': invalid name.\n"));
    EXPECT_EQ(Converted(dir), (std::vector<std::string>{"\xCE\xA9.txt", "dup."}));
}

// Ctrl-C (SIGINT, which wine turns into the console's Ctrl-C) while a
// temporary file is in flight: it is removed, no file is left half-converted,
// and the run ends with a failing status. A run too quick to catch is skipped.
TEST(WindowsFileNames, InterruptRemovesTheTemporaryFiles)
{
    CScratchDir dir;
    std::string text(32 << 20, 'x');
    for (size_t at = 0; at < text.size(); at += 16) {
        text[at] = '\r';
        text[at + 1] = '\n';
    }
    ASSERT_EQ(std::system(("mkdir " + Quote(dir.Path("tree"))).c_str()), 0);
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
        dir.Write(std::string("tree/") + name, text);
    }
    // The launcher's child is the program.
    const ToolRun run = InTree(dir, Files() +
                                        " -j 1 -u 1.txt 2.txt 3.txt & n=0; until ls .*.glyphmill-* >/dev/null 2>&1 ||"
                                        " [ $n -gt 5000 ]; do n=$((n+1)); done; pkill -INT -P $!; wait $!");
    if (run.status == 0) {
        GTEST_SKIP() << "the run ended before the interrupt";
    }
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(InTree(dir, "ls -A").out, "1.txt\n2.txt\n3.txt\n");
    std::string unix = text;
    unix.erase(std::remove(unix.begin(), unix.end(), '\r'), unix.end());
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
        const std::string bytes = dir.Read(std::string("tree/") + name);
        EXPECT_TRUE(bytes == text || bytes == unix) << name;
    }
}

}  // namespace
