#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/tablecodepages.h"

namespace platform {

namespace {

// The locale's name is read, not set: the locale need not be installed, and
// nothing else in the tool depends on it.
codepages::Pair LocalePair()
{
    static const codepages::Pair locale =
        codepages::ForLocaleVariables(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return locale;
}

codepages::Pair CodePages()
{
    if (const codepages::Pair* chosen = tables::ChosenPair()) {
        return *chosen;
    }
    return LocalePair();
}

}  // namespace

uint16_t LocaleOemPage()
{
    return LocalePair().m_oem;
}

codepages::Pair LocalePages()
{
    return LocalePair();
}

void OemToAnsi(unsigned char* buffer, uint32_t length)
{
    tables::MapOemToAnsi(CodePages(), buffer, length);
}

void AnsiToOem(unsigned char* buffer, uint32_t length)
{
    tables::MapAnsiToOem(CodePages(), buffer, length);
}

namespace {

// The standard descriptors the tool was started without, one bit each; set
// once, first thing in main, before anything else runs.
unsigned g_closedAtStart = 0;

}  // namespace

void ReserveStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            g_closedAtStart |= 1u << fd;
            // open takes the lowest free number: `fd` itself, as those below
            // it are open by now. Without a null device it stays closed.
            (void)open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        }
    }
}

namespace {

bool SameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `folder` is this process's folder of descriptors: /proc/self/fd
// on Linux (which /dev/fd links to), /dev/fd where that is a folder of its own.
bool IsDescriptorFolder(const std::string& folder)
{
    struct stat info {};
    struct stat known {};
    if (stat(folder.c_str(), &info) != 0) {
        return false;
    }
    for (const char* name : {"/proc/self/fd", "/dev/fd"}) {
        if (stat(name, &known) == 0 && SameInode(info, known)) {
            return true;
        }
    }
    return false;
}

// A descriptor number as the descriptor folder spells it: digits, no
// leading zero. -1 for anything else.
int DescriptorNumber(const std::string& name)
{
    if (name.empty() || name.size() > 9 || (name[0] == '0' && name.size() > 1)) {
        return -1;
    }
    int number = 0;
    for (const char c : name) {
        if (c < '0' || c > '9') {
            return -1;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// The descriptor `path` names, following its links one at a time until one
// of them is an entry of the descriptor folder (whose own link would lead to
// what the descriptor holds, not to the descriptor). -1 when it names none.
int DescriptorNamed(const char* path)
{
    std::string current = path;
    for (int links = 0; links < 40; ++links) {
        const size_t slash = current.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : current.substr(0, slash);
        const int number = DescriptorNumber(current.substr(slash == std::string::npos ? 0 : slash + 1));
        if (number >= 0 && IsDescriptorFolder(folder)) {
            return number;
        }
        char target[4096];
        const ssize_t length = readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) == sizeof target) {
            return -1;  // not a link (or one too long to be a name of ours)
        }
        const std::string next(target, static_cast<size_t>(length));
        current = next[0] == '/' ? next : folder + "/" + next;
    }
    return -1;
}

}  // namespace

bool NamesClosedStandardDescriptor(const char* path)
{
    if (g_closedAtStart == 0) {
        return false;
    }
    const int fd = DescriptorNamed(path);
    return fd >= STDIN_FILENO && fd <= STDERR_FILENO && (g_closedAtStart & (1u << fd)) != 0;
}

void UseUtf8CommandLine(int*, char***)
{
}

FileHandle StandardInput()
{
    return STDIN_FILENO;
}

FileHandle StandardOutput()
{
    return STDOUT_FILENO;
}

void SetBinaryMode(FileHandle)
{
}

FileHandle OpenForReading(const char* path, int* error)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
    }
    return fd;
}

FileHandle OpenForWriting(const char* path, int* error)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno;
    }
    return fd;
}

std::FILE* OpenStreamForReading(const char* path)
{
    return std::fopen(path, "rb");
}

long ReadSome(FileHandle file, unsigned char* buffer, size_t size, int* error)
{
    for (;;) {
        const ssize_t got = read(file, buffer, size);
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno != EINTR) {
            *error = errno;
            return -1;
        }
    }
}

bool WriteAll(FileHandle file, const unsigned char* buffer, size_t size, int* error)
{
    while (size > 0) {
        const ssize_t put = write(file, buffer, size);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = errno;
            return false;
        }
        if (put == 0) {
            // A regular file that accepts nothing is full; never spin on it.
            *error = ENOSPC;
            return false;
        }
        buffer += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool Close(FileHandle file, int* error)
{
    // POSIX leaves the descriptor's state unspecified after EINTR from close;
    // on Linux it is always released, so retrying could close another file.
    if (close(file) != 0 && errno != EINTR) {
        *error = errno;
        return false;
    }
    return true;
}

namespace {

// Regular files and FIFOs hold what is written for the next read of the same
// file; devices and sockets do not (a terminal's input is not its output).
bool SameFile(const struct stat& a, const struct stat& b)
{
    return (S_ISREG(a.st_mode) || S_ISFIFO(a.st_mode)) && SameInode(a, b);
}

}  // namespace

bool IsSameFile(FileHandle file, const char* path)
{
    struct stat a {};
    struct stat b {};
    return fstat(file, &a) == 0 && stat(path, &b) == 0 && SameFile(a, b);
}

bool IsSameFile(FileHandle a, FileHandle b)
{
    struct stat sa {};
    struct stat sb {};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && SameFile(sa, sb);
}

bool IsFifoAndOutput(const char* inputPath, const char* outputPath)
{
    struct stat input {};
    struct stat output {};
    if (stat(inputPath, &input) != 0 || !S_ISFIFO(input.st_mode)) {
        return false;
    }
    const int found = outputPath != nullptr ? stat(outputPath, &output) : fstat(STDOUT_FILENO, &output);
    return found == 0 && SameInode(input, output);
}

int ReadRefusal(FileHandle file)
{
    // A standard input started closed (taken by the null device opened for
    // writing, or still closed without one) or opened for writing only
    // (`0>file`): every read would fail with EBADF.
    const int flags = fcntl(file, F_GETFL);
    if (flags == -1) {
        return errno;
    }
    if ((flags & O_ACCMODE) == O_WRONLY) {
        return EBADF;
    }
    struct stat info {};
    return fstat(file, &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : 0;
}

const char* ErrorText(int error)
{
    return std::strerror(error);
}

}  // namespace platform
