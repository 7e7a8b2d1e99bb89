// glyphmill-files run through the shell on one tree with awkward names,
// modes, a link, a FIFO, hard links, an unwritable file and Ctrl-Z files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/run_tool.h"

namespace {

const std::string kDos = "one\r\ntwo\r\n";
const std::string kUnix = "one\ntwo\n";

// Files that are not text to convert byte by byte, left as they are in every
// mode: a PNG's start (CR LF, Ctrl-Z, NUL), a binary with a CR and a NUL but
// no Ctrl-Z, one whose NUL comes after 200 KB of text (the temporary file is
// then already made), UTF-16 both ways and UTF-32, each with CR LF.
const std::pair<std::string, std::string> kNotText[] = {
    {"binary.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\r\n", 19)},
    {"cr-nul.bin", std::string("a\r\nb\0c\r\n", 8)},
    {"late-nul.dat", "\r\n" + std::string(200000, 'x') + std::string("\0\r\n", 3)},
    {"utf16.txt", std::string("\xff\xfe"
                              "a\0\r\0\n\0",
                              8)},
    {"utf16be.txt", std::string("\xfe\xff\0a\0\r\0\n", 8)},
    {"utf32.txt", std::string("\xff\xfe\0\0"
                              "a\0\0\0\r\0\0\0\n\0\0\0",
                              16)},
};

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

// The tree every test starts from: text of every kind, and what is not this
// program's to convert (binary files, UTF-16 and UTF-32 text, a
// version-control folder, a temporary file a killed run left).
void MakeTree(const CScratchDir& dir)
{
    const std::string make = "mkdir -p " + Quote(dir.Path("tree/sub")) + " && cd " + Quote(dir.Path("tree")) +
                             " && printf 'one\\r\\ntwo\\r\\n' | tee dos.txt 'sp ace.txt' 'new\nline.txt' ./-dash.txt"
                             " sub/deep.txt hard.txt .git/config \"$(printf 'caf\\303\\251\\001\\351.txt')\" "
                             ".dos.txt.glyphmill-Ab12Cd >/dev/null"
                             " && printf 'one\\ntwo\\n' >unix.txt && printf 'a\\r\\n\\032' >ctrlz-final.txt"
                             " && printf 'a\\r\\n\\032b' >ctrlz-inside.txt && chmod 640 dos.txt"
                             " && ln -s dos.txt link && ln -s sub sublink && ln hard.txt hard2.txt"
                             " && mkfifo fifo && touch -d 2001-02-03 unix.txt dos.txt";
    ASSERT_EQ(std::system(("mkdir -p " + Quote(dir.Path("tree/.git")) + " && " + make).c_str()), 0);
    for (const auto& [name, bytes] : kNotText) {
        dir.Write("tree/" + name, bytes);
    }
}

// What each file holds after `-u -r .`, whether it kept its inode, and
// whether `-u --check -r .` lists it before.
struct FileCase {
    const char* name;
    std::string bytes;
    bool sameInode;
    bool listed;
};

TEST(Files, ConvertsATreeInPlaceByItsPolicies)
{
    CScratchDir dir;
    MakeTree(dir);
    dir.Write("tree/readonly.txt", kDos);
    chmod(dir.Path("tree/readonly.txt").c_str(), 0444);
    const bool root = geteuid() == 0;  // root may write any file
    const struct stat dos = Stat(dir, "dos.txt");
    std::vector<FileCase> cases = {
        // In walk order (byte order of the names), as --check lists them.
        {"-dash.txt", kUnix, false, true},
        {"caf\xc3\xa9\x01\xe9.txt", kUnix, false, true},
        {"ctrlz-final.txt", "a\n", false, true},  // the final Ctrl-Z dropped, as glyphmill drops it
        {"ctrlz-inside.txt",
         "a\r\n\x1a"
         "b",
         true, false},  // text after a Ctrl-Z would be lost
        {"dos.txt", kUnix, false, true},
        {"hard.txt", kDos, true, false},  // a rename would split its names
        {"new\nline.txt", kUnix, false, true},
        {"readonly.txt", root ? kUnix : kDos, !root, root},
        {"sp ace.txt", kUnix, false, true},
        {"sub/deep.txt", kUnix, false, true},
        {"unix.txt", kUnix, true, false},                  // already right: not rewritten
        {".git/config", kDos, true, false},                // a version-control folder is not walked
        {".dos.txt.glyphmill-Ab12Cd", kDos, true, false},  // a killed run's temporary file
    };
    for (const auto& [name, bytes] : kNotText) {
        cases.push_back({name.c_str(), bytes, true, false});
    }
    std::vector<ino_t> inodes;
    for (const FileCase& c : cases) {
        inodes.push_back(Stat(dir, c.name).st_ino);
    }
    // The walk's notes (links, FIFO, binary and UTF-16 files, .git) in walk
    // order, and what either mode refuses; the notes leave the status alone.
    const std::string notes =
        "glyphmill-files: skipped './.git': a version-control folder.\n"
        "glyphmill-files: skipped './binary.png': binary file (a NUL byte at offset 8).\n"
        "glyphmill-files: skipped './cr-nul.bin': binary file (a NUL byte at offset 4).\n"
        "glyphmill-files: not converted './ctrlz-inside.txt': text after a Ctrl-Z (0x1A) would be lost "
        "(--drop-after-ctrl-z drops it).\n"
        "glyphmill-files: skipped './fifo': not a regular file (a FIFO, device or socket).\n"
        "glyphmill-files: not converted './hard.txt': it has 2 hard links, which a rename would split.\n"
        "glyphmill-files: skipped './late-nul.dat': binary file (a NUL byte at offset 200002).\n"
        "glyphmill-files: skipped './link': a symbolic link (--follow-symlinks converts its target).\n"
        "glyphmill-files: skipped './sublink': a symbolic link (--follow-symlinks converts its target).\n"
        "glyphmill-files: skipped './utf16.txt': UTF-16 text: convert it to UTF-8 first.\n"
        "glyphmill-files: skipped './utf16be.txt': UTF-16 text: convert it to UTF-8 first.\n"
        "glyphmill-files: skipped './utf32.txt': UTF-32 text: convert it to UTF-8 first.\n";
    std::string expected = notes;
    if (!root) {
        expected += "glyphmill-files: not converted './readonly.txt': you may not write it.\n";
    }
    // --check first: it decides as the conversion does.
    const ToolRun check = Shell(dir, Files() + " -u --check --print0 -r -j 3 .");
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.err, expected);
    std::string listed;
    for (const FileCase& c : cases) {
        listed += c.listed ? "./" + std::string(c.name) + '\0' : "";
    }
    EXPECT_EQ(check.out, listed);  // in walk order, which the rows keep

    const ToolRun run = Shell(dir, Files() + " -u -r -j 3 .");
    EXPECT_EQ(run.status, 1);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(dir.Read("tree/" + std::string(cases[i].name)), cases[i].bytes);
        EXPECT_EQ(Stat(dir, cases[i].name).st_ino == inodes[i], cases[i].sameInode);
    }
    EXPECT_EQ(Stat(dir, "dos.txt").st_mode, dos.st_mode);
    EXPECT_NE(Stat(dir, "dos.txt").st_mtime, dos.st_mtime);
    EXPECT_EQ(Stat(dir, "unix.txt").st_mtime, dos.st_mtime);
    EXPECT_TRUE(S_ISLNK(Stat(dir, "link").st_mode));
    EXPECT_EQ(run.err, expected);
    // No temporary file left but the killed run's.
    EXPECT_EQ(Shell(dir, "ls -a | grep -c '[.]glyphmill-'").out, "1\n");
}

// After a conversion run that exits 0, --check exits 0 and lists nothing:
// both modes apply the same policies, whatever the conversion.
TEST(Files, CheckPassesAfterAConversionThatPassed)
{
    for (const char* conversion : {"-u", "-w", "-m", "-x", "-i-"}) {
        SCOPED_TRACE(conversion);
        CScratchDir dir;
        MakeTree(dir);
        ASSERT_EQ(std::system(("cd " + Quote(dir.Path("tree")) + " && rm ctrlz-inside.txt hard2.txt").c_str()), 0);
        const ToolRun run = Shell(dir, Files() + " " + conversion + " -r .");
        EXPECT_EQ(run.status, 0) << run.err;
        const ToolRun check = Shell(dir, Files() + " " + conversion + " -q --check -r .");
        EXPECT_EQ(check.status, 0);
        EXPECT_EQ(check.out + check.err, "");
    }
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
        {"named link and FIFO are notes; a folder without -r is not converted", "-u link fifo sub", 1, "",
         "glyphmill-files: skipped 'link': a symbolic link (--follow-symlinks converts its target).\n"
         "glyphmill-files: skipped 'fifo': not a regular file (a FIFO, device or socket).\n"
         "glyphmill-files: not converted 'sub': a folder (-r converts its files).\n"},
        {"binary and UTF-16 files named are notes too", "-u binary.png utf16.txt unix.txt", 0, "",
         "glyphmill-files: skipped 'binary.png': binary file (a NUL byte at offset 8).\n"
         "glyphmill-files: skipped 'utf16.txt': UTF-16 text: convert it to UTF-8 first.\n"},
        {"--binary converts them", "-u -v --binary cr-nul.bin utf16.txt binary.png", 1, "cr-nul.bin\nutf16.txt\n",
         "glyphmill-files: not converted 'binary.png': text after a Ctrl-Z (0x1A) would be lost "
         "(--drop-after-ctrl-z drops it).\n"},
        {"check names what the conversion refuses, status 1", "-u --check ctrlz-inside.txt hard.txt dos.txt", 1,
         "dos.txt\n",
         "glyphmill-files: not converted 'ctrlz-inside.txt': text after a Ctrl-Z (0x1A) would be lost "
         "(--drop-after-ctrl-z drops it).\n"
         "glyphmill-files: not converted 'hard.txt': it has 2 hard links, which a rename would split.\n"},
        {"a file already right is never refused", "-u hard.txt && printf 'a\\n' >h && ln h h2 && " + Files() + " -u h",
         1, "", "glyphmill-files: not converted 'hard.txt': it has 2 hard links, which a rename would split.\n"},
        {"--include and --exclude choose among the files, silently",
         "-u --check -r --include='*.txt' --include='c*' --exclude='[cdh]*.txt' --exclude='*e*' .", 1, "./-dash.txt\n",
         "glyphmill-files: skipped './.git': a version-control folder.\n"
         "glyphmill-files: skipped './cr-nul.bin': binary file (a NUL byte at offset 4).\n"
         "glyphmill-files: skipped './utf16.txt': UTF-16 text: convert it to UTF-8 first.\n"
         "glyphmill-files: skipped './utf32.txt': UTF-32 text: convert it to UTF-8 first.\n"},
        {"--exclude-dir and version-control folders pass folders over",
         "-u --check -r --exclude-dir='s?b' "
         "--include=deep.txt --include=config .",
         0, "", "glyphmill-files: skipped './.git': a version-control folder.\n"},
        {"a folder named is walked whatever its name", "-u --check -r --exclude-dir=sub --exclude-dir=.git sub .git", 1,
         "sub/deep.txt\n.git/config\n", ""},
        {"under -r a link named is followed", "-u --check -r sublink link", 1, "sublink/deep.txt\nlink\n", ""},
        {"--print0 lists names as they are", "-u --check --print0 'new\nline.txt' dos.txt", 1,
         std::string("new\nline.txt\0dos.txt\0", 21), ""},
        {"-q silences the walk's notes, not what is not converted", "-u -q -r sub .", 1, "",
         "glyphmill-files: not converted './ctrlz-inside.txt': text after a Ctrl-Z (0x1A) would be lost "
         "(--drop-after-ctrl-z drops it).\n"
         "glyphmill-files: not converted './hard.txt': it has 2 hard links, which a rename would split.\n"},
        {"the same file twice (and by a link) converted once", "-v -u --follow-symlinks dos.txt ./dos.txt link", 0,
         "dos.txt\n", ""},
        {"names shown escaped", "-u -v 'new\nline.txt'", 0, "new\\x0aline.txt\n", ""},
        {"operands after --", "-u -v -- -dash.txt", 0, "-dash.txt\n", ""},
        {"options after operands, GNU order", "-u dos.txt -q --check -- -dash.txt", 1, "dos.txt\n-dash.txt\n", ""},
        {"names from standard input", "-v -u --files0-from=- <names", 0, "dos.txt\nsp ace.txt\n", ""},
        {"a folder met twice is walked once", "-u --check -r sub ./sub", 1, "sub/deep.txt\n",
         "glyphmill-files: skipped './sub': a folder met before.\n"},
        {"--files0-from that cannot be read", "-u --files0-from=missing unix.txt", 2, "",
         "glyphmill-files: error reading 'missing': No such file or directory.\n"},
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

// Whether the programs, run from here, can load `name`'s character set.
bool LocaleLoads(const char* name)
{
    const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
        return false;
    }
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
    freelocale(locale);
    return utf8 || std::strcmp(name, "C") == 0;
}

// A name is shown escaped, but for the characters of valid UTF-8 where the
// locale's character set is UTF-8: control bytes and invalid bytes stay
// escaped. glyphmill's messages follow the same rule.
TEST(Files, NamesShownAsTheLocaleShowsThem)
{
    struct LocaleCase {
        const char* locale;
        std::string out;
        std::string err;
    };
    const LocaleCase kCases[] = {
        {"C", "caf\\xc3\\xa9\\x01\\xe9.txt\n",
         "glyphmill-files: error reading 'x\\xc3\\xa9': No such file or directory.\n"
         "Error opening 'x\\xc3\\xa9' for input.\n"},
        {"C.UTF-8", "caf\xc3\xa9\\x01\\xe9.txt\n",
         "glyphmill-files: error reading 'x\xc3\xa9': No such file or directory.\n"
         "Error opening 'x\xc3\xa9' for input.\n"},
    };
    for (const LocaleCase& c : kCases) {
        SCOPED_TRACE(c.locale);
        if (!LocaleLoads(c.locale)) {
            // Its data cannot be read here (qemu-s390x finds the host's, written for the other byte order).
            std::cout << c.locale << " cannot be loaded here: its names are not checked\n";
            continue;
        }
        CScratchDir dir;
        MakeTree(dir);
        const std::string missing = "\"$(printf 'x\\303\\251')\"";
        const ToolRun run = Shell(dir, "export LC_ALL=" + std::string(c.locale) + "; " + Files() + " -u --check caf* " +
                                           missing + "; " + Quote(ToolPath()) + " -q -u -f=" + missing);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

TEST(Files, FollowedLinkStaysALinkAndKeepDateKeepsTimes)
{
    CScratchDir dir;
    MakeTree(dir);
    const struct stat before = Stat(dir, "dos.txt");
    EXPECT_EQ(Shell(dir, Files() + " -u -k --follow-symlinks link").status, 0);
    EXPECT_TRUE(S_ISLNK(Stat(dir, "link").st_mode));
    EXPECT_EQ(Stat(dir, "dos.txt").st_mtime, before.st_mtime);
#ifndef GLYPHMILL_EXE_IS_WINDOWS  // Windows keeps the access time the file has when committed
    EXPECT_EQ(Stat(dir, "dos.txt").st_atime, before.st_atime);  // as it was before the run read it
#endif
    EXPECT_EQ(dir.Read("tree/dos.txt"), kUnix);
}

// A tree deeper than PATH_MAX: each folder is reached from its parent, so
// the file at the bottom is converted like any other.
TEST(Files, TreeDeeperThanPathMax)
{
    CScratchDir dir;
    // perl changes folder by relative names (a shell's cd keeps the whole path).
    const std::string down =
        "perl -e 'for (1..250) { mkdir \"01234567890123456789\"; chdir \"01234567890123456789\" or die }";
    ASSERT_EQ(std::system(("mkdir " + Quote(dir.Path("tree")) + " && cd " + Quote(dir.Path("tree")) + " && " + down +
                           " open(F, \">f.txt\") or die; print F \"a\\r\\n\"; close F'")
                              .c_str()),
              0);
    const ToolRun run = Shell(dir, Files() + " -u -r .");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Shell(dir, down + " open(F, \"<f.txt\") or die; print <F>'").out, "a\n");
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
        const ToolRun run = Shell(dir, Files() + " --no-sync --binary --drop-after-ctrl-z " + conversion + " in*");
        EXPECT_EQ(run.status, 0) << run.err;
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
        {"fail", "--check -a-", 1, kMessage, kLost},  // a refusal, as the conversion's: status 1
        {"replace", "-a-", 0, "", "ok\na ? b\n"},     // text mode reads CR LF as LF
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
