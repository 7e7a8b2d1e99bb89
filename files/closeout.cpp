#include "files/closeout.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace {

int g_failureStatus = 1;
bool g_registered = false;
// Whether a write failed, and the error of the first that did: the stream
// keeps only that one failed, and throws the text away, so fclose may have
// nothing left to fail with.
bool g_failed = false;
int g_firstError = 0;

void NoteFailure(bool failed)
{
    if (failed && !g_failed) {
        g_failed = true;
        g_firstError = errno;
    }
}

void CloseStandardOutput()
{
    const bool failedUnseen = std::ferror(stdout) != 0;  // a write not made through the calls below
    errno = 0;
    NoteFailure(std::fclose(stdout) != 0);
    NoteFailure(failedUnseen);
    if (!g_failed) {
        return;
    }
    if (g_firstError != 0) {
        std::fprintf(stderr, "glyphmill-files: error writing standard output: %s.\n",
                     platform::ErrorText(g_firstError));
    } else {
        std::fprintf(stderr, "glyphmill-files: error writing standard output.\n");
    }
    std::_Exit(g_failureStatus);
}

}  // namespace

void CheckStandardOutputAtExit(int failureStatus)
{
    g_failureStatus = failureStatus;
    if (!g_registered) {
        g_registered = true;
        std::atexit(CloseStandardOutput);
    }
}

void PrintOutputLine(const std::string& line)
{
    errno = 0;
    NoteFailure(std::printf("%s\n", line.c_str()) < 0);
}

void PrintOutputName0(const std::string& name)
{
    errno = 0;
    NoteFailure(std::fwrite(name.c_str(), 1, name.size() + 1, stdout) != name.size() + 1);
}

void FlushStandardOutput()
{
    errno = 0;
    NoteFailure(std::fflush(stdout) != 0);
}
