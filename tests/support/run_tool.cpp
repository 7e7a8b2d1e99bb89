#include "tests/support/run_tool.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The tool's OEM and ANSI code pages follow the locale: every run is in the C
// locale, with 437 and 1252, unless a test names another.
const bool g_inTheCLocale = setenv("LC_ALL", "C", 1) == 0;

}  // namespace

bool ToolIsWindows()
{
#ifdef GLYPHMILL_EXE_IS_WINDOWS
    return true;
#else
    return false;
#endif
}

std::string AsTextStream(const std::string& text)
{
    if (!ToolIsWindows()) {
        return text;
    }
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return crlf;
}

std::string AsStandardOutput(const std::string& options, const std::string& text)
{
    std::istringstream words(options);
    std::string word;
    while (words >> word) {
        const bool lineEnds =
            word.size() >= 2 && (word[0] == '-' || word[0] == '/') && std::strchr("uwmUWM", word[1]) != nullptr;
        if (lineEnds && word.back() != '-') {
            return text;  // switched to binary mode
        }
    }
    return AsTextStream(text);
}

std::string ToolPath()
{
    const char* chosen = std::getenv("GLYPHMILL_EXE");
    return chosen != nullptr && chosen[0] != '\0' ? chosen : GLYPHMILL_EXE;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

namespace {

ToolRun Run(int seconds, const std::string& arguments, const std::string* input, const std::string& redirections,
            Feed feed)
{
    CScratchDir io;
    std::string command = Quote(ToolPath()) + " " + arguments;
    if (seconds > 0) {
        command = "timeout " + std::to_string(seconds) + " " + command;
    }
    if (input != nullptr) {
        io.Write("stdin", *input);
        const std::string file = Quote(io.Path("stdin"));
        const std::string check = feed == Feed::Pipe ? "test -p /dev/stdin" : "test -f /dev/stdin";
        command = "{ " + check + " || exit " + std::to_string(kWrongFeed) + "; " + command + "; }";
        command = feed == Feed::Pipe ? "cat " + file + " | " + command : command + " <" + file;
    }
    command += " >" + Quote(io.Path("stdout")) + " 2>" + Quote(io.Path("stderr")) + " " + redirections;
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = io.Read("stdout");
    run.err = io.Read("stderr");
    return run;
}

}  // namespace

ToolRun RunTool(const std::string& arguments, const std::string* input, const std::string& redirections, Feed feed)
{
    return Run(0, arguments, input, redirections, feed);
}

ToolRun RunToolWithin(int seconds, const std::string& arguments, const std::string* input,
                      const std::string& redirections)
{
    return Run(seconds, arguments, input, redirections, Feed::Redirect);
}

CScratchDir::CScratchDir()
{
    const char* root = std::getenv("TMPDIR");
    std::string pattern = std::string(root != nullptr && root[0] != '\0' ? root : "/tmp") + "/glyphmill-test-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    m_path = made ? made : "";
}

CScratchDir::~CScratchDir()
{
    if (!m_path.empty()) {
        const std::string command = "chmod -R u+rwx " + Quote(m_path) + "; rm -rf " + Quote(m_path);
        (void)std::system(command.c_str());
    }
}

void CScratchDir::Write(const std::string& name, const std::string& bytes) const
{
    Spit(Path(name), bytes);
}

std::string CScratchDir::Read(const std::string& name) const
{
    return Slurp(Path(name));
}

bool CScratchDir::Exists(const std::string& name) const
{
    struct stat info {};
    return lstat(Path(name).c_str(), &info) == 0;
}
