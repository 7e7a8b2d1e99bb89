// glyphmill-files run through the shell on one tree with awkward names,
// modes, a link, a FIFO, hard links, an unwritable file and Ctrl-Z files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/run_tool.h"

namespace {

const std::string kDos = "one\r\ntwo\r\n";
const std::string kUnix = "one\ntwo\n";

ToolRun Shell(const CScratchDir& dir, const std::string& command)
{
    const std::string full = "cd " + Quote(dir.Path("tree")) + " && { " + command + "; } >" + Quote(dir.Path("out")) +
                             " 2>" + Quote(dir.Path("err"));
    const int raw = std::system(full.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.Read("out"), dir.Read("err")};
}

std::string Files()
{
    return Quote(GLYPHMILL_FILES_EXE);
}

struct stat Stat(const CScratchDir& dir, const std::string& name)
{
    struct stat info {};
    lstat(dir.Path("tree/" + name).c_str(), &info);
    return info;
}

// The tree every test starts from.
void MakeTree(const CScratchDir& dir)
{
    const std::string make = "mkdir -p " + Quote(dir.Path("tree/sub")) + " && cd " + Quote(dir.Path("tree")) +
                             " && printf 'one\\r\\ntwo\\r\\n' | tee dos.txt 'sp ace.txt' 'new\nline.txt' ./-dash.txt"
                             " sub/deep.txt hard.txt >/dev/null"
                             " && printf 'one\\ntwo\\n' >unix.txt && printf 'a\\r\\n\\032' >ctrlz-final.txt"
                             " && printf 'a\\r\\n\\032b' >ctrlz-inside.txt && chmod 640 dos.txt"
                             " && ln -s dos.txt link && ln hard.txt hard2.txt"
                             " && mkfifo fifo && touch -d 2001-02-03 unix.txt dos.txt";
    ASSERT_EQ(std::system(make.c_str()), 0);
}

// What each file holds after `-u -r .`, and whether it kept its inode.
struct FileCase {
    const char* name;
    std::string bytes;
    bool sameInode;
};

TEST(Files, ConvertsATreeInPlaceByItsPolicies)
{
    CScratchDir dir;
    MakeTree(dir);
    dir.Write("tree/readonly.txt", kDos);
    chmod(dir.Path("tree/readonly.txt").c_str(), 0444);
    const bool root = geteuid() == 0;  // root may write any file
    const struct stat dos = Stat(dir, "dos.txt");
    const FileCase kCases[] = {
        {"dos.txt", kUnix, false},
        {"sp ace.txt", kUnix, false},
        {"new\nline.txt", kUnix, false},
        {"-dash.txt", kUnix, false},
        {"sub/deep.txt", kUnix, false},
        {"unix.txt", kUnix, true},          // already right: not rewritten
        {"ctrlz-final.txt", "a\n", false},  // the final Ctrl-Z dropped, as glyphmill drops it
        {"ctrlz-inside.txt",
         "a\r\n\x1a"
         "b",
         true},                    // text after a Ctrl-Z would be lost
        {"hard.txt", kDos, true},  // a rename would split its names
        {"readonly.txt", root ? kUnix : kDos, !root},
    };
    std::vector<ino_t> inodes;
    for (const FileCase& c : kCases) {
        inodes.push_back(Stat(dir, c.name).st_ino);
    }
    const ToolRun run = Shell(dir, Files() + " -u -r -j 3 .");
    EXPECT_EQ(run.status, 1);
    for (size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE(kCases[i].name);
        EXPECT_EQ(dir.Read("tree/" + std::string(kCases[i].name)), kCases[i].bytes);
        EXPECT_EQ(Stat(dir, kCases[i].name).st_ino == inodes[i], kCases[i].sameInode);
    }
    EXPECT_EQ(Stat(dir, "dos.txt").st_mode, dos.st_mode);
    EXPECT_NE(Stat(dir, "dos.txt").st_mtime, dos.st_mtime);
    EXPECT_EQ(Stat(dir, "unix.txt").st_mtime, dos.st_mtime);
    EXPECT_TRUE(S_ISLNK(Stat(dir, "link").st_mode));
    // Notes and failures in walk order; the walk's link and FIFO leave the status alone.
    std::string expected =
        "glyphmill-files: not converted './ctrlz-inside.txt': text after a Ctrl-Z (0x1A) would be lost "
        "(--drop-after-ctrl-z drops it).\n"
        "glyphmill-files: skipped './fifo': not a regular file (a FIFO, device or socket).\n"
        "glyphmill-files: not converted './hard.txt': it has 2 hard links, which a rename would split.\n"
        "glyphmill-files: skipped './link': a symbolic link (--follow-symlinks converts its target).\n";
    if (!root) {
        expected += "glyphmill-files: not converted './readonly.txt': you may not write it.\n";
    }
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(Shell(dir, "ls -a | grep -c '[.]glyphmill-'").out, "0\n");  // no temporary file left
}

// One run per row over a fresh tree: its exit status, standard output and
// standard error.
struct RunCase {
    const char* name;
    std::string arguments;
    int status;
    std::string out;
    std::string err;
};

TEST(Files, OptionsAndOperands)
{
    const RunCase kCases[] = {
        {"check lists, in order, what would change", "-u --check dos.txt unix.txt ctrlz-final.txt", 1,
         "dos.txt\nctrlz-final.txt\n", ""},
        {"check of right files", "-u --check unix.txt", 0, "", ""},
        {"check of a missing file", "-u --check unix.txt missing", 2, "",
         "glyphmill-files: error reading 'missing': No such file or directory.\n"},
        {"named link, FIFO and folder are not converted", "-u link fifo sub", 1, "",
         "glyphmill-files: not converted 'link': a symbolic link (--follow-symlinks converts its target).\n"
         "glyphmill-files: not converted 'fifo': not a regular file (a FIFO, device or socket).\n"
         "glyphmill-files: not converted 'sub': a folder (-r converts its files).\n"},
        {"-q silences the walk's notes, not what is not converted", "-u -q -r sub .", 1, "",
         "glyphmill-files: not converted './ctrlz-inside.txt': text after a Ctrl-Z (0x1A) would be lost "
         "(--drop-after-ctrl-z drops it).\n"
         "glyphmill-files: not converted './hard.txt': it has 2 hard links, which a rename would split.\n"},
        {"the same file twice (and by a link) converted once", "-v -u --follow-symlinks dos.txt ./dos.txt link", 0,
         "dos.txt\n", ""},
        {"names shown escaped", "-u -v 'new\nline.txt'", 0, "new\\x0aline.txt\n", ""},
        {"operands after --", "-u -v -- -dash.txt", 0, "-dash.txt\n", ""},
        {"options first: a later dash word is an operand", "-u -v unix.txt -dash.txt", 0, "-dash.txt\n", ""},
        {"names from standard input", "-v -u --files0-from=- <names", 0, "dos.txt\nsp ace.txt\n", ""},
        {"off form of a letter, attached", "-v -h- unix.txt dos.txt", 0, "dos.txt\n", ""},  // text mode drops the CRs
        {"two conversions", "-u -w dos.txt", 2, "",
         "glyphmill-files: give exactly one conversion\nTry 'glyphmill-files --help'.\n"},
        {"no conversion", "dos.txt", 2, "",
         "glyphmill-files: give one conversion: -u, -w, -m, -h, -h-, -x, -x-, -i, -i-, -a or -a-\n"
         "Try 'glyphmill-files --help'.\n"},
        {"-j out of range", "-u -j 0 dos.txt", 2, "",
         "glyphmill-files: -j takes a number of workers from 1 to 256, not 0\nTry 'glyphmill-files --help'.\n"},
        {"names from a file that cannot be read", "-u --files0-from=sub", 2, "",
         "glyphmill-files: error reading 'sub': Is a directory.\n"},
        // The list of files converted, lost: as coreutils' close_stdout has it.
        {"standard output full", "-u -v dos.txt unix.txt >/dev/full", 1, "",
         "glyphmill-files: error writing standard output: No space left on device.\n"},
        {"standard output full, check", "-u --check dos.txt >/dev/full", 2, "",
         "glyphmill-files: error writing standard output: No space left on device.\n"},
    };
    for (const RunCase& c : kCases) {
        SCOPED_TRACE(c.name);
        CScratchDir dir;
        MakeTree(dir);
        dir.Write("tree/names", std::string("dos.txt\0sp ace.txt\0", 19));
        const ToolRun run = Shell(dir, Files() + " " + c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Files, FollowedLinkStaysALinkAndKeepDateKeepsTimes)
{
    CScratchDir dir;
    MakeTree(dir);
    const time_t before = Stat(dir, "dos.txt").st_mtime;
    EXPECT_EQ(Shell(dir, Files() + " -u -k --follow-symlinks link").status, 0);
    EXPECT_TRUE(S_ISLNK(Stat(dir, "link").st_mode));
    EXPECT_EQ(dir.Read("tree/dos.txt"), kUnix);
    EXPECT_EQ(Stat(dir, "dos.txt").st_mtime, before);
}

TEST(Files, MessagesKeepTheirOrderWhateverTheWorkers)
{
    CScratchDir dir;
    MakeTree(dir);
    const std::string one = Shell(dir, Files() + " -u --check -r -j 1 .").out;
    EXPECT_EQ(Shell(dir, Files() + " -u --check -r -j 7 .").out, one);
    EXPECT_NE(one, "");
}

// Every conversion converts each file as glyphmill converts it from -f to -o.
TEST(Files, EachFileConvertsAsGlyphmillConvertsIt)
{
    const std::string kTexts[] = {
        "crlf\r\nlf\nlone cr\rend",
        "caf\xe9 & <b> \"q\" 'a' 50% a+b &amp; &eacute; &#233; %41%e9 %zz\r\n",
        std::string("nul\0byte\r\n", 10) + "final ctrl-z\r\n\x1a",
        "after ctrl-z\r\n\x1a lost\r\n",
        std::string(70000, 'x') + "&amp;&lt;%41\r\n" + std::string(40000, '\xe9'),
        "",
    };
    // "-a utf-8": -a with GLYPHMILL_CODEPAGES=437:utf-8, the converters that expand.
    const char* const kConversions[] = {"-u", "-w",  "-m", "-h",  "-h-",      "-x",       "-x-",
                                        "-i", "-i-", "-a", "-a-", "-a utf-8", "-a- utf-8"};
    for (const std::string option : kConversions) {
        SCOPED_TRACE(option);
        const std::string conversion = option.substr(0, option.find(' '));
        option == conversion ? unsetenv("GLYPHMILL_CODEPAGES") : setenv("GLYPHMILL_CODEPAGES", "437:utf-8", 1);
        CScratchDir dir;
        for (size_t i = 0; i < std::size(kTexts); ++i) {
            dir.Write("in" + std::to_string(i), kTexts[i]);
        }
        ASSERT_EQ(std::system(("mkdir " + Quote(dir.Path("tree")) + " && cp " + Quote(dir.Path("")) + "in* " +
                               Quote(dir.Path("tree")))
                                  .c_str()),
                  0);
        EXPECT_EQ(Shell(dir, Files() + " --no-sync --drop-after-ctrl-z " + conversion + " in*").status, 0);
        for (size_t i = 0; i < std::size(kTexts); ++i) {
            const std::string in = "in" + std::to_string(i);
            ASSERT_EQ(RunTool("-q " + std::string(conversion) + " -f=" + Quote(dir.Path(in)) +
                              " -o=" + Quote(dir.Path("out" + std::to_string(i))))
                          .status,
                      0);
            EXPECT_EQ(dir.Read("tree/" + in), dir.Read("out" + std::to_string(i))) << in;
        }
    }
    unsetenv("GLYPHMILL_CODEPAGES");
}

// GLYPHMILL_UNMAPPED=fail leaves a file with a character the page lacks as
// it was and names the place, as glyphmill does; --check reads on to find it.
TEST(Files, UnmappedCharactersAsThePolicySays)
{
    const std::string kLost = "ok\r\na \xE2\x86\x92 b\r\n";
    const std::string kMessage =
        "glyphmill-files: not converted 'lost.txt': line 2, byte offset 2: U+2192 has no exact counterpart in "
        "code page 437.\n";
    const struct {
        const char* policy;
        const char* options;
        int status;
        std::string err;
        std::string lost;  // lost.txt afterwards
    } kCases[] = {
        {"fail", "-a-", 1, kMessage, kLost},
        {"fail", "--check -a-", 2, kMessage, kLost},
        {"replace", "-a-", 0, "", "ok\na ? b\n"},  // text mode reads CR LF as LF
        {"Windows", "-a-", 2, "glyphmill-files: GLYPHMILL_UNMAPPED must be windows, replace or fail, not 'Windows'.\n",
         kLost},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.policy) + " " + c.options);
        CScratchDir dir;
        ASSERT_EQ(mkdir(dir.Path("tree").c_str(), 0700), 0);
        dir.Write("tree/clean.txt", "caf\xC3\xA9\r\n");
        dir.Write("tree/lost.txt", kLost);
        const ToolRun run = Shell(dir, "GLYPHMILL_CODEPAGES=437:utf-8 GLYPHMILL_UNMAPPED=" + std::string(c.policy) +
                                           " " + Files() + " --no-sync " + c.options + " clean.txt lost.txt");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(dir.Read("tree/lost.txt"), c.lost);
    }
}

}  // namespace

namespace {

// SIGTERM while a temporary file is in flight removes it and leaves the file
// whole; a run too quick to catch is skipped.
TEST(Files, TerminationRemovesTheTemporaryFile)
{
    CScratchDir dir;
    std::string text(64 << 20, 'x');
    for (size_t at = 0; at < text.size(); at += 16) {
        text[at] = '\r';
        text[at + 1] = '\n';
    }
    ASSERT_EQ(std::system(("mkdir " + Quote(dir.Path("tree"))).c_str()), 0);
    dir.Write("tree/big.txt", text);
    const ToolRun run = Shell(dir, Files() +
                                       " -u big.txt & n=0; until ls .big.txt.glyphmill-* >/dev/null 2>&1 ||"
                                       " [ $n -gt 2000 ]; do n=$((n+1)); done; kill -TERM $!; wait $!");
    if (run.status != 128 + 15) {
        GTEST_SKIP() << "the run ended before the signal";
    }
    EXPECT_EQ(Shell(dir, "ls -A").out, "big.txt\n");
    EXPECT_TRUE(dir.Read("tree/big.txt") == text);
}

}  // namespace
