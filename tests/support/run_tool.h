#pragma once

#include <string>

// Runs the built glyphmill through /bin/sh so tests can use redirections and
// pipes exactly as users do.
struct ToolRun {
    int status = -1;  // exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// How `input` reaches the tool's standard input: redirected from a regular
// file (`<file`), or through a pipe (`cat file |`), which has no size and
// cannot seek. The shell checks that standard input is what the feed names
// (test -f or test -p on /dev/stdin) and ends with kWrongFeed if it is not.
enum class Feed { Redirect, Pipe };
constexpr int kWrongFeed = 99;

// `arguments` and `redirections` are shell text; when `input` is given it is
// written to a file and fed to standard input as `feed` says. Standard output
// and standard error are captured unless `redirections` redirects them.
ToolRun RunTool(const std::string& arguments, const std::string* input = nullptr, const std::string& redirections = "",
                Feed feed = Feed::Redirect);
// The same, the tool stopped by timeout(1) after `seconds` (status 124), so
// that a tool which never ends fails its test instead of hanging the suite.
ToolRun RunToolWithin(int seconds, const std::string& arguments, const std::string* input = nullptr,
                      const std::string& redirections = "");

// A fresh private folder for one test's files, made under $TMPDIR (or /tmp
// when it is not set) and removed with the object.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

private:
    std::string m_path;
};

// Whether the tool under test is glyphmill.exe, run through wine. There,
// standard error, and standard output unless -u, -w or -m is on, are in text
// mode and write each LF as CR LF.
bool ToolIsWindows();
// `text` as a text-mode stream of the tool delivers it.
std::string AsTextStream(const std::string& text);
// `text` as the tool's standard output delivers it with these options.
std::string AsStandardOutput(const std::string& options, const std::string& text);

// The tool under test: $GLYPHMILL_EXE when set, else the one this build made.
std::string ToolPath();
std::string Quote(const std::string& text);
