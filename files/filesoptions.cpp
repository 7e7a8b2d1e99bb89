#include "files/filesoptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#include "platform/conversions.h"

namespace {

enum LongOnly {
    kCheck = 256,
    kFilesFrom,
    kFollowSymlinks,
    kNoSync,
    kDropAfterCtrlZ,
    kBinary,
    kPrint0,
    kInclude,
    kExclude,
    kExcludeDir,
    kAllowChown,
    kHelp,
    kVersion,
};

// A conversion letter takes an optional attached "-" (off: -h-, -x-, -i-,
// -a-); -u, -w and -m take none. So "-h file" keeps the file an operand.
// Options may follow operands (`glyphmill-files -u -r src --check`), as GNU
// tools take them; `--` ends them.
const char kShortOptions[] = "uwmh::x::i::a::rj:kqv";

const option kLongOptions[] = {
    {"check", no_argument, nullptr, kCheck},
    {"files0-from", required_argument, nullptr, kFilesFrom},
    {"jobs", required_argument, nullptr, 'j'},
    {"keep-date", no_argument, nullptr, 'k'},
    {"follow-symlinks", no_argument, nullptr, kFollowSymlinks},
    {"no-sync", no_argument, nullptr, kNoSync},
    {"drop-after-ctrl-z", no_argument, nullptr, kDropAfterCtrlZ},
    {"binary", no_argument, nullptr, kBinary},
    {"print0", no_argument, nullptr, kPrint0},
    {"include", required_argument, nullptr, kInclude},
    {"exclude", required_argument, nullptr, kExclude},
    {"exclude-dir", required_argument, nullptr, kExcludeDir},
    {"allow-chown", no_argument, nullptr, kAllowChown},
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"recursive", no_argument, nullptr, 'r'},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

bool UsageError(const char* text, const char* detail = "")
{
    std::fprintf(stderr, "glyphmill-files: %s%s\nTry 'glyphmill-files --help'.\n", text, detail);
    return false;
}

bool TakeConversion(int letter, const char* value, FilesSettings* settings)
{
    if (value != nullptr && std::strcmp(value, "-") != 0) {
        return UsageError("a conversion letter takes only '-' after it, not ", value);
    }
    if (settings->m_letter != 0) {
        return UsageError("give exactly one conversion");
    }
    settings->m_letter = static_cast<char>(letter);
    settings->m_on = value == nullptr;
    return conversions::Select(settings->m_letter, settings->m_on, &settings->m_conversion);
}

bool TakeWorkers(const char* text, FilesSettings* settings)
{
    char* end = nullptr;
    const long workers = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || workers < 1 || workers > 256) {
        return UsageError("-j takes a number of workers from 1 to 256, not ", text);
    }
    settings->m_workers = static_cast<int>(workers);
    return true;
}

// One option; false after a usage error.
bool TakeOption(int option, FilesSettings* settings)
{
    switch (option) {
    case 'u':
    case 'w':
    case 'm':
    case 'h':
    case 'x':
    case 'i':
    case 'a':
        return TakeConversion(option, optarg, settings);
    case 'r':
        settings->m_recurse = true;
        return true;
    case 'j':
        return TakeWorkers(optarg, settings);
    case 'k':
        settings->m_keepTimes = true;
        return true;
    case 'q':
        settings->m_quiet = true;
        return true;
    case 'v':
        settings->m_verbose = true;
        return true;
    case kCheck:
        settings->m_check = true;
        return true;
    case kFilesFrom:
        settings->m_namesFrom = optarg;
        return true;
    case kFollowSymlinks:
        settings->m_followSymlinks = true;
        return true;
    case kNoSync:
        settings->m_sync = false;
        return true;
    case kDropAfterCtrlZ:
        settings->m_dropAfterCtrlZ = true;
        return true;
    case kBinary:
        settings->m_binary = true;
        return true;
    case kPrint0:
        settings->m_print0 = true;
        return true;
    case kInclude:
        settings->m_includes.emplace_back(optarg);
        return true;
    case kExclude:
        settings->m_excludes.emplace_back(optarg);
        return true;
    case kExcludeDir:
        settings->m_excludeDirs.emplace_back(optarg);
        return true;
    case kAllowChown:
        settings->m_allowChown = true;
        return true;
    default:  // getopt_long has said what is wrong
        std::fprintf(stderr, "Try 'glyphmill-files --help'.\n");
        return false;
    }
}

}  // namespace

ParseOutcome ParseFilesCommandLine(int argc, char** argv, FilesSettings* settings)
{
    optind = 1;
    for (;;) {
        const int option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (option == -1) {
            break;
        }
        if (option == kHelp || option == kVersion) {
            return option == kHelp ? ParseOutcome::kHelp : ParseOutcome::kVersion;
        }
        if (!TakeOption(option, settings)) {
            return ParseOutcome::kUsageError;
        }
    }
    for (int index = optind; index < argc; ++index) {
        settings->m_operands.emplace_back(argv[index]);
    }
    if (settings->m_letter == 0) {
        UsageError("give one conversion: -u, -w, -m, -h, -h-, -x, -x-, -i, -i-, -a or -a-");
        return ParseOutcome::kUsageError;
    }
    if (settings->m_operands.empty() && settings->m_namesFrom == nullptr) {
        UsageError("name the files to convert, or --files0-from=FILE");
        return ParseOutcome::kUsageError;
    }
    return ParseOutcome::kRun;
}

void PrintFilesHelp()
{
    std::printf(
        "Usage: glyphmill-files CONVERSION [OPTION]... [--] FILE...\n"
        "Convert files in place with one of glyphmill's conversions, on every core.\n"
        "\n"
        "Conversion (exactly one):\n"
        "  -u          Unix line ends (every CR dropped)\n"
        "  -w          Windows line ends (CR LF)\n"
        "  -m          classic Macintosh line ends (CR)\n"
        "  -h, -h-     encode, decode HTML entities\n"
        "  -x, -x-     encode, decode the five XML entities\n"
        "  -i, -i-     encode, decode URI percent escapes\n"
        "  -a, -a-     OEM to ANSI, ANSI to OEM code page\n"
        "\n"
        "Options:\n"
        "  -r, --recursive       convert the files of folders and of their folders (not\n"
        "                        version-control folders); a link named is followed\n"
        "      --include=GLOB    only files whose base name matches GLOB (repeatable)\n"
        "      --exclude=GLOB    leave out files whose base name matches GLOB\n"
        "      --exclude-dir=GLOB  do not walk folders whose base name matches GLOB\n"
        "      --check           write nothing; list the files the conversion would\n"
        "                        change, name those it would refuse\n"
        "      --print0          end each name listed (--check, -v) with NUL, not escaped\n"
        "      --files0-from=F   also convert the NUL-separated names in F ('-': standard input)\n"
        "  -j, --jobs=N          N workers (default: one per core)\n"
        "  -k, --keep-date       keep each converted file's access and modification times\n"
        "      --follow-symlinks convert the target of a symbolic link (the link stays a link)\n"
        "      --no-sync         do not flush files and folders to disk before going on\n"
        "      --drop-after-ctrl-z  convert a file even when text after a Ctrl-Z is lost\n"
        "      --binary          convert files holding a NUL byte, UTF-16 or UTF-32 text\n"
        "      --allow-chown     convert a file even when its owner or group cannot be kept\n"
        "  -q, --quiet           no notes for what is skipped (links, binary files...)\n"
        "  -v, --verbose         name each file converted\n"
        "      --help            this text\n"
        "      --version         the version\n"
        "\n"
        "Exit status: 0 every file converted or already right, 1 a file failed or was not\n"
        "converted, 2 a usage error. With --check: 0 none would change and none would be\n"
        "refused, 1 some would, 2 a usage error or a file that could not be read. What is\n"
        "skipped (links, FIFOs, devices, binary files, version-control folders) is noted\n"
        "and leaves the status alone.\n");
}
