#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/tablecodepages.h"

namespace platform {

namespace {

// The locale's name is read, not set: the locale need not be installed, and
// nothing else in the tool depends on it.
codepages::Pair CodePages()
{
    if (const codepages::Pair* chosen = tables::ChosenPair()) {
        return *chosen;
    }
    static const codepages::Pair locale =
        codepages::ForLocaleVariables(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return locale;
}

}  // namespace

void OemToAnsi(unsigned char* buffer, uint32_t length)
{
    tables::MapOemToAnsi(CodePages(), buffer, length);
}

void AnsiToOem(unsigned char* buffer, uint32_t length)
{
    tables::MapAnsiToOem(CodePages(), buffer, length);
}

void ReserveStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open takes the lowest free number: `fd` itself, as those below
            // it are open by now. Without a null device it stays closed.
            (void)open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        }
    }
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
    return (S_ISREG(a.st_mode) || S_ISFIFO(a.st_mode)) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

int ReadRefusal(FileHandle file)
{
    struct stat info {};
    return fstat(file, &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : 0;
}

const char* ErrorText(int error)
{
    return std::strerror(error);
}

}  // namespace platform
