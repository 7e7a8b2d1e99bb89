// A preloadable shim that makes read, write, open, close, fsync and rename
// fail on a schedule, for tests of the real binaries only.
//
// GLYPHMILL_FAULTS holds comma-separated rules "call:kind:first[:every]":
//   call   read | write | open | close | fsync | rename
//   kind   eintr | short | nothing | eio | enospc
//   first  the 1-based number of the call (of that function) first hit
//   every  then every so many calls after it (0 or absent: that call only)
// A short read or write moves between 1 and 7 bytes; "nothing" makes a read
// or write move no byte and return 0 (open and close ignore it); the other
// kinds fail with that error (close first really closes, as Linux does;
// fsync and rename fail without doing anything). When
// rules meet on one call, an error wins over nothing, nothing over a short
// count, and a short count over an interruption. Standard error
// is never touched. When GLYPHMILL_FAULT_LOG names a file, the counts of calls
// and of faults injected are appended to it at exit.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum Call { kRead, kWrite, kOpen, kClose, kFsync, kRename, kCallCount };
enum Kind { kNone, kEintr, kShort, kNothing, kEio, kEnospc };

struct Rule {
    Call call;
    Kind kind;
    unsigned long first;
    unsigned long every;
};

constexpr int kMaxRules = 16;
const char* const kCallNames[kCallCount] = {"read", "write", "open", "close", "fsync", "rename"};

Rule g_rules[kMaxRules];
int g_ruleCount = -1;  // -1: GLYPHMILL_FAULTS not parsed yet
unsigned long g_calls[kCallCount];
unsigned long g_injected;

Kind KindNamed(const char* name, size_t length)
{
    const char* const names[] = {"", "eintr", "short", "nothing", "eio", "enospc"};
    for (int kind = kEintr; kind <= kEnospc; ++kind) {
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
    int call = 0;
    while (call < kCallCount && std::strncmp(kCallNames[call], text, static_cast<size_t>(colon - text)) != 0) {
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

void ParseSchedule()
{
    g_ruleCount = 0;
    const char* text = std::getenv("GLYPHMILL_FAULTS");
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
        ParseSchedule();
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
    return fault;
}

int ErrorOf(Kind kind)
{
    return kind == kEintr ? EINTR : kind == kEio ? EIO : ENOSPC;
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
        std::fprintf(log, "read %lu write %lu open %lu close %lu injected %lu fsync %lu rename %lu\n", g_calls[kRead],
                     g_calls[kWrite], g_calls[kOpen], g_calls[kClose], g_injected, g_calls[kFsync], g_calls[kRename]);
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

int fsync(int fd)
{
    static const auto real = Next<int (*)(int)>("fsync");
    const Kind fault = NextFault(kFsync);
    if (fault == kNone || fault == kShort || fault == kNothing) {
        return real(fd);
    }
    errno = ErrorOf(fault);
    return -1;
}

int rename(const char* from, const char* to)
{
    static const auto real = Next<int (*)(const char*, const char*)>("rename");
    const Kind fault = NextFault(kRename);
    if (fault == kNone || fault == kShort || fault == kNothing) {
        return real(from, to);
    }
    errno = ErrorOf(fault);
    return -1;
}

}  // extern "C"
