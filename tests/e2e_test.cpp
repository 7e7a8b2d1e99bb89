// End-to-end runs of the built tool through files, pipes and redirections.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "convert/convert.h"
#include "stream/textreader.h"
#include "tests/support/run_tool.h"

namespace {

const std::string kBanner =
    "Glyphmill - July 2003\n"
    "Copyright (C) 2003 Glyphmill contributors\n"
    "https://glyphmill.example.org/\n\n";

const std::string kUsage =
    "Usage:\n"
    "[-f=<string>] [-o=<string>] [-a{+|-}] [-u] [-w] [-m] [-h{+|-}] [-x{+|-}] [-i{+|-}] [-q] [-?] \n"
    "\n"
    "-f  input filename\n"
    "-o  output filename\n"
    "-a  convert to ansi character set (default is to oem character set)\n"
    "-u  convert to unix line-feed (new line only)\n"
    "-w  convert to windows line-feed (carriage-return and new line characters)\n"
    "-m  convert to mac line-feed (carriage-return only)\n"
    "-h  convert to HTML character set\n"
    "-x  convert to XML character set\n"
    "-i  URI encode\n"
    "-q  quiet mode\n"
    "-?  help\n"
    "\n";

struct UsageCase {
    const char* name;
    const char* arguments;
    std::string err;
    int status;
    std::string out = "";  // -u's output, in binary mode on every host
};

const UsageCase kUsageCases[] = {
    {"no arguments", "", kBanner + "\n" + kUsage, 2},
    {"quiet alone", "-q", "\n" + kUsage, 2},
    // A command line that does not parse always shows the banner.
    {"quiet with invalid", "-q -z", kBanner + "Invalid argument: -z\n\n\n" + kUsage, 2},
    {"help", "-?", kBanner + "\n" + kUsage, 0},
    {"help beats conversion", "-? -u -q", kBanner + "\n" + kUsage, 0},
    {"help switched off", "-?- -q", "\n" + kUsage, 2},
    {"two conversions", "-w -u", kBanner + "Exclusive arguments: u and w\n\n\n" + kUsage, 2},
    {"ansi counts as a conversion", "-a -u", kBanner + "Exclusive arguments: a and u\n\n\n" + kUsage, 2},
    {"toggles cannot share a text", "-uw", kBanner + "Invalid argument: -uw\n\n\n" + kUsage, 2},
    {"help with a bad value", "-? -help", kBanner + "Invalid argument: -help\n\n\n" + kUsage, 2},
    {"option given twice", "-u -u", kBanner + "Invalid argument: -u\n\n\n" + kUsage, 2},
    {"value not attached", "-f in.txt -u", kBanner + "Invalid argument: in.txt\n\n\n" + kUsage, 2},
    {"empty input name without conversion", "-f=", kBanner + "\n" + kUsage, 2},
    // Without -q the banner goes to standard error, never into the text.
    {"banner beside a conversion", "-u", kBanner, 0, "never read\n"},
};

TEST(EndToEnd, BannerUsageAndExitStatus)
{
    const std::string input = "never read\n";
    for (const UsageCase& c : kUsageCases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = RunTool(c.arguments, &input);
        EXPECT_EQ(run.err, AsTextStream(c.err));
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.status, c.status);
    }
}

struct ConversionCase {
    const char* name;
    const char* options;
    std::string in;
    std::string out;
};

const std::string kMixed = "K\r\nL\nM\rN";

const ConversionCase kConversions[] = {
    {"unix", "-u", kMixed, "K\nL\nMN"},
    {"windows", "-w", kMixed, "K\r\nL\r\nMN"},
    // Every line end becomes CR; the lone CR stays.
    {"mac", "-m", kMixed, "K\rL\rM\rN"},
    // Switched-off line-ending options copy the text as text-mode reading delivers it.
    {"unix off", "-u-", kMixed, "K\nL\nM\rN"},
    {"windows off", "/W-", kMixed, "K\nL\nM\rN"},
    {"ctrl-z ends the input", "-u", "K\n\x1aL\n", "K\n"},
    {"nul bytes are kept", "-u", std::string("a\0b\r\nc\0\n", 8), std::string("a\0b\nc\0\n", 7)},
    {"empty input", "-w", "", ""},
    // 0xE9 is a capital theta in code page 437, which 1252 can only approximate.
    {"oem to ansi", "-a", "\x82t\xe9\r\n", "\xe9tT\n"},
    {"ansi to oem", "-a-", "\xe9t\xda\r\n", "\x82tU\n"},
    {"value with colon", "-a:+", "\x82", "\xe9"},
    // A line whose CR LF fills the converter's buffer exactly.
    {"windows line filling the buffer", "-w", std::string(LINE_BUF_SIZE - 2, 'z') + "\n",
     std::string(LINE_BUF_SIZE - 2, 'z') + "\r\n"},
    // Each letter and direction reaches its own converter (their rules are
    // the converters' tests'): the texts tell HTML from XML and one
    // direction from the other.
    {"html encode", "-h", "a<b & \xe9'\n", "a&lt;b &amp; &eacute;'\n"},
    {"html decode", "-h-", "a&lt;b&eacute;&apos;\n", "a<b\xe9&apos;\n"},
    {"xml encode, crlf read as lf", "-x", "<\xe9'\r\n", "&lt;\xe9&apos;\n"},
    {"xml decode", "-x-", "&lt;&eacute;&apos;\n", "<&eacute;'\n"},
    {"uri encode", "-i", "a b/c?d=e&f+g\xe9\n", "a%20b%2fc%3fd%3de%26f%2bg%e9\n"},
    {"uri decode", "-i-", "a%20b%2Fc%e9+%zz\n", "a b/c\xe9+%zz\n"},
};

// Each row three ways, as users feed the tool: a file argument, a redirected
// file, a pipe; then into an existing output file longer than the result,
// which must be cut to the result.
TEST(EndToEnd, ConvertsThroughFilesRedirectionsAndPipes)
{
    for (const ConversionCase& c : kConversions) {
        SCOPED_TRACE(c.name);
        CScratchDir dir;
        dir.Write("in", c.in);
        const std::string options = std::string(c.options) + " -q";
        const struct {
            const char* way;
            ToolRun run;
        } runs[] = {
            {"file argument", RunTool(options + " -f" + Quote(dir.Path("in")))},
            {"redirection", RunTool(options, &c.in, "", Feed::Redirect)},
            {"pipe", RunTool(options, &c.in, "", Feed::Pipe)},
        };
        for (const auto& [way, run] : runs) {
            SCOPED_TRACE(way);
            EXPECT_EQ(run.out, AsStandardOutput(c.options, c.out));
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(run.status, 0);
        }

        dir.Write("out", c.out + std::string(5000, '#'));
        const ToolRun filed = RunTool(options + " -f" + Quote(dir.Path("in")) + " -o=" + Quote(dir.Path("out")));
        EXPECT_EQ(dir.Read("out"), c.out);
        EXPECT_EQ(filed.out, "");
        EXPECT_EQ(filed.status, 0);
    }
}

TEST(EndToEnd, LongLinesSurviveWhole)
{
    // Around the longest piece the reader hands out, and far beyond it.
    const size_t longest = CTextReader::kMaxPiece;
    const size_t lengths[] = {longest - 1, longest, longest + 1, longest + 2, 100000, 1000000};
    std::string input;
    std::string expected;
    for (size_t length : lengths) {
        input += std::string(length, 'x') + "\n";
        expected += std::string(length, 'x') + "\r\n";
    }
    input += std::string(70000, 'y');  // and a last line without LF
    expected += std::string(70000, 'y');
    const ToolRun run = RunTool("-w -q", &input);
    EXPECT_TRUE(run.out == expected) << "output of " << run.out.size() << " bytes differs";
}

TEST(EndToEnd, SampleFileConverts)
{
    const ToolRun run = RunTool("-h -q -f" + Quote(std::string(GLYPHMILL_SOURCE_DIR) + "/samples/sample.txt"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, AsStandardOutput("-h",
                                        "Caf&eacute; cr&egrave;me &amp; &quot;fish&quot; &lt;chips&gt;\n"
                                        "The 100% sure way: a+b=c?\n"));
}

// This build's levels (tests/CMakeLists.txt); the Windows end-to-end tests,
// built apart, drive the x86-64 glyphmill.exe.
#ifndef GLYPHMILL_LEVEL_NAMES
#define GLYPHMILL_LEVEL_NAMES "portable, sse2, avx2 or avx512"
#define GLYPHMILL_TOP_LEVEL "avx512"
#define GLYPHMILL_FOREIGN_LEVEL "neon"
#endif

// GLYPHMILL_SIMD may lower the level, never names an unknown one (nor is it
// empty): the run stops before reading anything.
TEST(EndToEnd, SimdLevelFromTheEnvironment)
{
    const char* before = std::getenv("GLYPHMILL_SIMD");
    const std::string saved = before != nullptr ? before : "";
    const std::string input = "a b\n";
    struct Case {
        const char* level;
        int status;
        std::string out;
        std::string err;
    };
    const Case kCases[] = {
        {"portable", 0, "a%20b\n", ""},
        {GLYPHMILL_TOP_LEVEL, 0, "a%20b\n", ""},  // above what a processor has: its highest
        {"AVX2", 2, "", "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not 'AVX2'.\n"},
        // Only a whole name: not a prefix of one, not one with more after it.
        {"avx", 2, "", "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not 'avx'.\n"},
        {"avx5120", 2, "", "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not 'avx5120'.\n"},
        // Set but empty is refused too; only an unset variable means the highest level.
        {"", 2, "", "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not ''.\n"},
        // A level of another build's: neon on x86-64, avx2 on arm64.
        {GLYPHMILL_FOREIGN_LEVEL, 2, "",
         "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not '" GLYPHMILL_FOREIGN_LEVEL "'.\n"},
        // Control bytes, bytes above ASCII and the backslash are shown
        // escaped: the message stays one line and sends no terminal escapes.
        {"avx2\n\x1b[2J\\", 2, "",
         "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not 'avx2\\x0a\\x1b[2J\\\\'.\n"},
        {"\xe9t\xe9", 2, "", "Error: GLYPHMILL_SIMD must be " GLYPHMILL_LEVEL_NAMES ", not '\\xe9t\\xe9'.\n"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.level);
        if (ToolIsWindows() && c.level[0] == '\xe9') {
            continue;  // wine hands the environment over through the locale's character set
        }
        setenv("GLYPHMILL_SIMD", c.level, 1);
        const ToolRun run = RunTool("-q -i", &input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, AsStandardOutput("-i", c.out));
        EXPECT_EQ(run.err, AsTextStream(c.err));
    }
    if (before != nullptr) {
        setenv("GLYPHMILL_SIMD", saved.c_str(), 1);
    } else {
        unsetenv("GLYPHMILL_SIMD");
    }
}

// Sets an environment variable for one scope, then puts back what was there.
class CScopedVariable {
public:
    CScopedVariable(const char* name, const char* value) : m_name(name)
    {
        const char* before = std::getenv(name);
        m_had = before != nullptr;
        m_before = m_had ? before : "";
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    ~CScopedVariable() { m_had ? setenv(m_name, m_before.c_str(), 1) : unsetenv(m_name); }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    std::string m_before;
};

std::string Repeated(const std::string& text, size_t times)
{
    std::string repeated;
    for (size_t i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

// -a and -a- convert between the pages of the locale (POSIX hosts) or those
// GLYPHMILL_CODEPAGES names (every host); a value that names no pair stops
// the run before the output is opened.
TEST(EndToEnd, CodePagesFromTheEnvironment)
{
    const std::string kAccepted =
        "OEM:ANSI with OEM one of 437, 720, 737, 775, 850, 852, 855, 857, 860-866, 869, 874, 1258 and ANSI one of "
        "874, 1250-1258 or utf-8 (65001), or utf-8 alone (the locale's OEM page with UTF-8), or one of 932, 936, "
        "949, 950, 65001 twice";
    struct Case {
        const char* locale;  // LC_ALL
        const char* pages;   // GLYPHMILL_CODEPAGES, null: unset
        const char* option;
        std::string input;
        int status;
        std::string out;                 // what the output file then holds
        std::string err;                 // "{in}": the input file's name
        const char* unmapped = nullptr;  // GLYPHMILL_UNMAPPED, null: unset
    };
    const std::string kLongLine(CTextReader::kMaxPiece - 1, 'x');  // a character cut by the piece's end
    const Case kCases[] = {
        {"C", nullptr, "-a", "\x80\x9b", 0, "\xC7\xA2", ""},
        {"ru_RU.UTF-8", nullptr, "-a", "\x80\xEF", 0, "\xC0\xFF", ""},
        {"de_DE.UTF-8", nullptr, "-a-", "\xF8", 0, "\x9B", ""},
        {"ja_JP.UTF-8", nullptr, "-a", "\x82\xA0\xE9", 0, "\x82\xA0\xE9", ""},
        {"ckb_IQ", nullptr, "-a", "\x9b\xa0", 0, "\xC4\xC8", ""},  // Windows' alias of ku-Arab-IQ: 720 and 1256
        {"de_DE.UTF-8", "866:1251", "-a", "\x80\xEF", 0, "\xC0\xFF", ""},
        {"C", "852:1250", "-a-", "\xB9", 0, "\xA5", ""},
        {"C", "932:932", "-a", "\x82\xA0", 0, "\x82\xA0", ""},
        // UTF-8 for the ANSI side, text mode as ever: CR LF read as LF, Ctrl-Z the end.
        {"C", "437:utf-8", "-a", "\x80\xC4\r\n\xFF\x1A\x82", 0, "\xC3\x87\xE2\x94\x80\n\xC2\xA0", ""},
        {"ru_RU.UTF-8", "utf-8", "-a", "\x80\xEF", 0, "\xD0\x90\xD1\x8F", ""},  // the locale's OEM page
        {"C", "850:UTF8", "-a-", "\xC3\xB8\xC2\xA9\xE2\x82\r\n\xF0\x9F\x98\x80", 0, "\x9B\xB8?\n??", ""},
        {"ja_JP.UTF-8", "utf-8", "-a", "x", 2, "keep",
         "Error: GLYPHMILL_CODEPAGES must be " + kAccepted + ", not 'utf-8'.\n"},
        {"C", "1251:866", "-a", "x", 2, "keep",
         "Error: GLYPHMILL_CODEPAGES must be " + kAccepted + ", not '1251:866'.\n"},
        {"C", "866", "-u", "x", 2, "keep", "Error: GLYPHMILL_CODEPAGES must be " + kAccepted + ", not '866'.\n"},
        {"C", "", "-a", "x", 2, "keep", "Error: GLYPHMILL_CODEPAGES must be " + kAccepted + ", not ''.\n"},
        // Control bytes are shown escaped, as GLYPHMILL_SIMD's are: one line.
        {"C", "866:1251\n\x1b[2J", "-a", "x", 2, "keep",
         "Error: GLYPHMILL_CODEPAGES must be " + kAccepted + ", not '866:1251\\x0a\\x1b[2J'.\n"},
        // A huge value is shown cut, so the message stays a line.
        {"C", "0850:1252 0123456789012345678901234567890123456789012345678901234567890123456789", "-a", "x", 2, "keep",
         "Error: GLYPHMILL_CODEPAGES must be " + kAccepted +
             ", not '0850:1252 012345678901234567890123456789012345678901234567890123...'.\n"},
        // No control byte for a screen glyph; Windows' answer for the 8-bit pair.
        {"C", "437:utf-8", "-a-", "a \xE2\x86\x92 b \xE2\x80\xA2\xE2\x97\x99\xE2\x99\xAA\n", 0, "a ? b ???\n", ""},
        {"C", "437:1252", "-a-", "\xA7", 0, "\x15", "", "windows"},
        // GLYPHMILL_UNMAPPED: no best fit, no glyph's control byte; or a stop.
        {"C", "437:1252", "-a", "\xC9\xE0\x82\n", 0, "+a\xE9\n", ""},
        {"C", "437:1252", "-a", "\xC9\xE0\x82\n", 0, "??\xE9\n", "", "replace"},
        {"C", "437:1252", "-a-", "\xA7", 0, "?", "", "replace"},
        {"C", "437:utf-8", "-a-", "\xE2\x84\xA2 \xC3\xA9\n", 0, "? \x82\n", "", "replace"},
        {"C", "437:1252", "-a", "ok\r\n\x82\xC9\n", 1, "ok\n\xE9",
         "Error converting '{in}': line 2, byte offset 1: byte 0xC9 has no exact counterpart in code page 1252.\n",
         "fail"},
        {"C", "437:utf-8", "-a-", "a \xE2\x86\x92 b\n", 1, "a ",
         "Error converting '{in}': line 1, byte offset 2: U+2192 has no exact counterpart in code page 437.\n", "fail"},
        {"C", "437:utf-8", "-a-", "a\r\n" + kLongLine + "\xE2\x86\x92\n", 1, "a\n" + kLongLine,
         "Error converting '{in}': line 2, byte offset 16382: U+2192 has no exact counterpart in code page 437.\n",
         "fail"},
        {"C", "437:1252", "-a-", Repeated("\xE9\n", 40000) + "\xA4", 1, Repeated("\x82\n", 40000),
         "Error converting '{in}': line 40001, byte offset 0: byte 0xA4 has no exact counterpart in code page 437.\n",
         "fail"},
        {"C", "437:utf-8", "-a-", "ok \xC3(\n", 1, "ok ",
         "Error converting '{in}': line 1, byte offset 3: invalid UTF-8 (byte 0xC3).\n", "fail"},
        {"C", "437:utf-8", "-a-", "x", 2, "keep",
         "Error: GLYPHMILL_UNMAPPED must be windows, replace or fail, not 'Fail'.\n", "Fail"},
        // The locale's pair under a policy: its tables, or the text as it is where the pages are one.
        {"ru_RU.UTF-8", nullptr, "-a", "\x80\xEF", 0, "\xC0\xFF", "", "replace"},
        {"ru_RU.UTF-8", nullptr, "-a", "\xB0", 1, "",
         "Error converting '{in}': line 1, byte offset 0: byte 0xB0 has no exact counterpart in code page 1251.\n",
         "fail"},
        {"ja_JP.UTF-8", nullptr, "-a", "\x82\xA0\xE9", 0, "\x82\xA0\xE9", "", "fail"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.locale) + " " + (c.pages ? c.pages : "(unset)") + " " + c.option + " " +
                     (c.unmapped ? c.unmapped : ""));
        const bool fromLocale = c.pages == nullptr || std::string(c.pages) == "utf-8";
        if (ToolIsWindows() && fromLocale && std::string(c.locale) != "C") {
            continue;  // Windows takes its pages from the system, not the variables
        }
        const CScopedVariable locale("LC_ALL", c.locale);
        const CScopedVariable pages("GLYPHMILL_CODEPAGES", c.pages);
        const CScopedVariable unmapped("GLYPHMILL_UNMAPPED", c.unmapped);
        CScratchDir dir;
        dir.Write("in", c.input);
        dir.Write("out", "keep");
        const ToolRun run =
            RunTool(std::string("-q ") + c.option + " -f" + Quote(dir.Path("in")) + " -o" + Quote(dir.Path("out")));
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(dir.Read("out"), c.out);
        std::string err = c.err;
        const size_t in = err.find("{in}");
        if (in != std::string::npos) {
            err.replace(in, 4, dir.Path("in"));
        }
        EXPECT_EQ(run.err, AsTextStream(err));
    }
}

}  // namespace
