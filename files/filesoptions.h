#pragma once

#include <string>
#include <vector>

#include "stream/driver.h"

// Exit statuses of glyphmill-files (and, with --check, grep's convention).
constexpr int kFilesSuccess = 0;  // every file converted or already right; --check: none would change
constexpr int kFilesFailure = 1;  // a file failed or was not converted; --check: some would change
constexpr int kFilesUsage = 2;    // a usage error; --check: also a file that could not be read

// What the command line asks for.
struct FilesSettings {
    char m_letter = 0;  // the conversion's option letter
    bool m_on = true;   // -h rather than -h-
    Conversion m_conversion;
    bool m_recurse = false;
    bool m_check = false;
    bool m_keepTimes = false;
    bool m_followSymlinks = false;
    bool m_sync = true;
    bool m_dropAfterCtrlZ = false;
    bool m_allowChown = false;  // a file whose owner or group cannot be kept becomes the user's
    bool m_quiet = false;
    bool m_verbose = false;
    bool m_binary = false;  // convert files that hold a NUL byte or begin with a UTF-16/UTF-32 byte-order mark
    bool m_print0 = false;  // names on standard output end with NUL and are written as they are
    int m_workers = 0;      // 0: one per core
    const char* m_namesFrom = nullptr;       // --files0-from: a file of NUL-separated names, "-" for standard input
    std::vector<std::string> m_includes;     // --include: only files whose base name matches one
    std::vector<std::string> m_excludes;     // --exclude: files whose base name matches one are left out
    std::vector<std::string> m_excludeDirs;  // --exclude-dir: walked folders whose base name matches one
    std::vector<std::string> m_operands;
};

enum class ParseOutcome { kRun, kHelp, kVersion, kUsageError };

// Reads the command line the GNU way (getopt_long: options anywhere before
// `--`, which ends them, `-j N` or `-jN`, long options and their unambiguous
// prefixes). A usage
// error has been reported on standard error when kUsageError comes back.
ParseOutcome ParseFilesCommandLine(int argc, char** argv, FilesSettings* settings);

void PrintFilesHelp();
