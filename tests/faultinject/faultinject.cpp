// A shim that makes the file calls fail on a schedule: preloaded into the
// real binaries, or linked into a test of the host layer (which sets the
// schedule with glyphmill_faults_set, faultinject.h).
//
// GLYPHMILL_FAULTS holds comma-separated rules "call:kind:first[:every]":
//   call   read | write | open | close | fsync | rename | fchown | fchmod |
//          futimens | flistxattr | fgetxattr | fsetxattr | pread | fstat |
//          fstatat | opendir (open counts openat too, rename renameat,
//          opendir fdopendir)
//   kind   sigint | sigterm | sighup | eintr | short | nothing | eio | enospc |
//          eperm | eexist | enotsup
//   first  the 1-based number of the call (of that function) first hit
//   every  then every so many calls after it (0 or absent: that call only)
// A signal kind sends the process that signal, then makes the call as it
// is. A short read or write moves between 1 and 7 bytes; "nothing" makes a
// read or write move no byte and return 0 (the other calls ignore it); the
// other kinds fail with that error (close first really closes, as Linux
// does; the others fail without doing anything). When rules meet on one call,
// an error wins over nothing, nothing over a short count, a short count over
// an interruption, and any of them over a signal. Standard error is never
// touched. When GLYPHMILL_FAULT_LOG names a file, the counts of calls and of
// faults injected are appended to it at exit.
#include "tests/faultinject/faultinject.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

enum Call {
    kRead,
    kWrite,
    kOpen,
    kClose,
    kFsync,
    kRename,
    kFchown,
    kFchmod,
    kFutimens,
    kFlistxattr,
    kFgetxattr,
    kFsetxattr,
    kPread,
    kFstat,
    kFstatat,
    kOpendir,
    kCallCount
};
enum Kind { kNone, kSigint, kSigterm, kSighup, kEintr, kShort, kNothing, kEio, kEnospc, kEperm, kEexist, kEnotsup };

struct Rule {
    Call call;
    Kind kind;
    unsigned long first;
    unsigned long every;
};

constexpr int kMaxRules = 16;
const char* const kCallNames[kCallCount] = {"read",   "write",  "open",     "close",      "fsync",     "rename",
                                            "fchown", "fchmod", "futimens", "flistxattr", "fgetxattr", "fsetxattr",
                                            "pread",  "fstat",  "fstatat",  "opendir"};

Rule g_rules[kMaxRules];
int g_ruleCount = -1;  // -1: GLYPHMILL_FAULTS not parsed yet
unsigned long g_calls[kCallCount];
unsigned long g_injected;

Kind KindNamed(const char* name, size_t length)
{
    const char* const names[kEnotsup + 1] = {"",        "sigint", "sigterm", "sighup", "eintr",  "short",
                                             "nothing", "eio",    "enospc",  "eperm",  "eexist", "enotsup"};
    for (int kind = kSigint; kind <= kEnotsup; ++kind) {
        if (std::strlen(names[kind]) == length && std::strncmp(names[kind], name, length) == 0) {
            return static_cast<Kind>(kind);
        }
    }
    return kNone;
}

bool ParseRule(const char* text, Rule& rule)
{
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) {
        return false;
    }
    const size_t length = static_cast<size_t>(colon - text);
    int call = 0;
    while (call < kCallCount &&
           (std::strlen(kCallNames[call]) != length || std::strncmp(kCallNames[call], text, length) != 0)) {
        ++call;
    }
    const char* kindText = colon + 1;
    const char* kindEnd = std::strchr(kindText, ':');
    if (call == kCallCount || kindEnd == nullptr) {
        return false;
    }
    rule.call = static_cast<Call>(call);
    rule.kind = KindNamed(kindText, static_cast<size_t>(kindEnd - kindText));
    char* end = nullptr;
    rule.first = std::strtoul(kindEnd + 1, &end, 10);
    rule.every = *end == ':' ? std::strtoul(end + 1, &end, 10) : 0;
    return rule.kind != kNone && rule.first > 0;
}

void ParseSchedule(const char* text)
{
    g_ruleCount = 0;
    while (text != nullptr && *text != '\0' && g_ruleCount < kMaxRules) {
        if (ParseRule(text, g_rules[g_ruleCount])) {
            ++g_ruleCount;
        }
        text = std::strchr(text, ',');
        text = text != nullptr ? text + 1 : nullptr;
    }
}

// Counts the call and returns the fault scheduled for it, if any.
Kind NextFault(Call call)
{
    if (g_ruleCount < 0) {
        ParseSchedule(std::getenv("GLYPHMILL_FAULTS"));
    }
    const unsigned long number = ++g_calls[call];
    Kind fault = kNone;
    for (int i = 0; i < g_ruleCount; ++i) {
        const Rule& rule = g_rules[i];
        const bool hit =
            number == rule.first || (number > rule.first && rule.every > 0 && (number - rule.first) % rule.every == 0);
        if (rule.call == call && hit && rule.kind > fault) {
            fault = rule.kind;
        }
    }
    g_injected += fault != kNone ? 1 : 0;
    if (fault == kSigint || fault == kSigterm || fault == kSighup) {
        kill(getpid(), fault == kSigint ? SIGINT : fault == kSigterm ? SIGTERM : SIGHUP);
        return kNone;
    }
    return fault;
}

int ErrorOf(Kind kind)
{
    switch (kind) {
    case kEintr:
        return EINTR;
    case kEio:
        return EIO;
    case kEperm:
        return EPERM;
    case kEexist:
        return EEXIST;
    case kEnotsup:
        return ENOTSUP;
    default:
        return ENOSPC;
    }
}

// Whether the call goes through as it is (a fault it cannot show).
bool PassesThrough(Kind fault)
{
    return fault == kNone || fault == kShort || fault == kNothing;
}

// Makes the call unless it is scheduled to fail: then errno and -1.
template <typename Fn, typename... Args>
auto FailOr(Call call, Fn real, Args... args) -> decltype(real(args...))
{
    const Kind fault = NextFault(call);
    if (PassesThrough(fault)) {
        return real(args...);
    }
    errno = ErrorOf(fault);
    return -1;
}

size_t ShortCount(size_t count)
{
    const size_t bytes = 1 + g_injected % 7;
    return count < bytes ? count : bytes;
}

template <typename Fn>
Fn Next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void WriteLog()
{
    const char* path = std::getenv("GLYPHMILL_FAULT_LOG");
    if (path == nullptr) {
        return;
    }
    if (std::FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, "read %lu write %lu open %lu close %lu injected %lu", g_calls[kRead], g_calls[kWrite],
                     g_calls[kOpen], g_calls[kClose], g_injected);
        for (int call = kFsync; call < kCallCount; ++call) {
            std::fprintf(log, " %s %lu", kCallNames[call], g_calls[call]);
        }
        std::fprintf(log, "\n");
        std::fclose(log);
    }
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    const Kind fault = fd == STDERR_FILENO ? kNone : NextFault(kRead);
    if (fault == kNone || fault == kShort) {
        return real(fd, buffer, fault == kShort ? ShortCount(count) : count);
    }
    if (fault == kNothing) {
        return 0;
    }
    errno = ErrorOf(fault);
    return -1;
}

ssize_t write(int fd, const void* buffer, size_t count)
{
    static const auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const Kind fault = fd == STDERR_FILENO ? kNone : NextFault(kWrite);
    if (fault == kNone || fault == kShort) {
        return real(fd, buffer, fault == kShort ? ShortCount(count) : count);
    }
    if (fault == kNothing) {
        return 0;
    }
    errno = ErrorOf(fault);
    return -1;
}

int open(const char* path, int flags, ...)
{
    static const auto real = Next<int (*)(const char*, int, ...)>("open");
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, unsigned));
        va_end(args);
    }
    const Kind fault = NextFault(kOpen);
    if (fault == kNone || fault == kShort || fault == kNothing) {
        return real(path, flags, mode);
    }
    errno = ErrorOf(fault);
    return -1;
}

int close(int fd)
{
    static const auto real = Next<int (*)(int)>("close");
    const Kind fault = fd == STDERR_FILENO ? kNone : NextFault(kClose);
    const int result = real(fd);
    if (fault == kNone || fault == kShort || fault == kNothing) {
        return result;
    }
    errno = ErrorOf(fault);
    return -1;
}

int openat(int folder, const char* path, int flags, ...)
{
    static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, unsigned));
        va_end(args);
    }
    return FailOr(kOpen, real, folder, path, flags, mode);
}

int fsync(int fd)
{
    static const auto real = Next<int (*)(int)>("fsync");
    return FailOr(kFsync, real, fd);
}

int rename(const char* from, const char* to) noexcept
{
    static const auto real = Next<int (*)(const char*, const char*)>("rename");
    return FailOr(kRename, real, from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) noexcept
{
    static const auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return FailOr(kRename, real, fromFolder, from, toFolder, to);
}

int fchown(int fd, uid_t owner, gid_t group) noexcept
{
    static const auto real = Next<int (*)(int, uid_t, gid_t)>("fchown");
    return FailOr(kFchown, real, fd, owner, group);
}

int fchmod(int fd, mode_t mode) noexcept
{
    static const auto real = Next<int (*)(int, mode_t)>("fchmod");
    return FailOr(kFchmod, real, fd, mode);
}

int futimens(int fd, const struct timespec times[2]) noexcept
{
    static const auto real = Next<int (*)(int, const struct timespec*)>("futimens");
    return FailOr(kFutimens, real, fd, times);
}

ssize_t flistxattr(int fd, char* list, size_t size) noexcept
{
    static const auto real = Next<ssize_t (*)(int, char*, size_t)>("flistxattr");
    return FailOr(kFlistxattr, real, fd, list, size);
}

ssize_t fgetxattr(int fd, const char* name, void* value, size_t size) noexcept
{
    static const auto real = Next<ssize_t (*)(int, const char*, void*, size_t)>("fgetxattr");
    return FailOr(kFgetxattr, real, fd, name, value, size);
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) noexcept
{
    static const auto real = Next<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr");
    return FailOr(kFsetxattr, real, fd, name, value, size, flags);
}

// pread fails or moves fewer bytes as read does; a short count is retried.
ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    const Kind fault = NextFault(kPread);
    if (fault == kNone || fault == kShort) {
        return real(fd, buffer, fault == kShort ? ShortCount(count) : count, offset);
    }
    if (fault == kNothing) {
        return 0;
    }
    errno = ErrorOf(fault);
    return -1;
}

int fstat(int fd, struct stat* info) noexcept
{
    static const auto real = Next<int (*)(int, struct stat*)>("fstat");
    return FailOr(kFstat, real, fd, info);
}

int fstatat(int folder, const char* path, struct stat* info, int flags) noexcept
{
    static const auto real = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
    return FailOr(kFstatat, real, folder, path, info, flags);
}

DIR* opendir(const char* path)
{
    static const auto real = Next<DIR* (*)(const char*)>("opendir");
    const Kind fault = NextFault(kOpendir);
    if (PassesThrough(fault)) {
        return real(path);
    }
    errno = ErrorOf(fault);
    return nullptr;
}

DIR* fdopendir(int fd)
{
    static const auto real = Next<DIR* (*)(int)>("fdopendir");
    const Kind fault = NextFault(kOpendir);
    if (PassesThrough(fault)) {
        return real(fd);
    }
    errno = ErrorOf(fault);
    return nullptr;
}

void glyphmill_faults_set(const char* schedule)
{
    ParseSchedule(schedule);
    for (unsigned long& calls : g_calls) {
        calls = 0;
    }
    g_injected = 0;
}

}  // extern "C"
