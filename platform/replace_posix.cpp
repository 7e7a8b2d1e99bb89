#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include "platform/inflight_posix.h"
#include "platform/replace.h"
#include "platform/tempname.h"
#include "platform/walk.h"

namespace platform {

bool ResolveLink(const char* path, std::string* target, int* error)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
    if (!resolved) {
        *error = errno;
        return false;
    }
    *target = resolved.get();
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

namespace {

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A value for the temporary name's unique part that no other run is likely to
// use: a count from a start taken from the process and the clock, spread over
// all its bits (splitmix64) so that neighbouring counts give unlike names.
unsigned long long NextUnique()
{
    static std::atomic<unsigned long long> s_next{[] {
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        return (static_cast<unsigned long long>(getpid()) << 32) ^ static_cast<unsigned long long>(now.tv_nsec) ^
               (static_cast<unsigned long long>(now.tv_sec) << 20);
    }()};
    unsigned long long z = s_next.fetch_add(0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The original's owner and group, or nothing: a file of another user's
// would silently become this user's. Allowed that, a user who may not give
// the file its owner still gives it the group where a member of it, or keeps
// their own.
bool CopyOwner(int to, const struct stat& info, bool allowChown, int* error)
{
    if (fchown(to, info.st_uid, info.st_gid) == 0) {
        return true;
    }
    if (allowChown) {
        (void)fchown(to, static_cast<uid_t>(-1), info.st_gid);
        return true;
    }
    *error = errno;
    return false;
}

// The names of the file's extended attributes, NUL-ended one after the
// other; none where its file system has none.
bool AttributeNames(int from, std::vector<char>* names, int* error)
{
    for (;;) {
        const ssize_t size = flistxattr(from, nullptr, 0);
        if (size <= 0) {
            names->clear();
            if (size == 0 || errno == ENOTSUP) {
                return true;
            }
            *error = errno;
            return false;
        }
        names->resize(static_cast<size_t>(size));
        const ssize_t got = flistxattr(from, names->data(), names->size());
        if (got >= 0) {
            names->resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) {  // ERANGE: the list grew since it was measured
            *error = errno;
            return false;
        }
    }
}

// One attribute's value; false with *error 0 when it was removed meanwhile.
bool AttributeValue(int from, const char* name, std::vector<char>* value, int* error)
{
    for (;;) {
        const ssize_t size = fgetxattr(from, name, nullptr, 0);
        if (size >= 0) {
            value->resize(static_cast<size_t>(size));
            const ssize_t got = fgetxattr(from, name, value->data(), value->size());
            if (got >= 0) {
                value->resize(static_cast<size_t>(got));
                return true;
            }
        }
        if (errno != ERANGE) {  // ERANGE: the value grew since it was measured
            *error = errno == ENODATA ? 0 : errno;
            return false;
        }
    }
}

// Every extended attribute the user may read, POSIX ACLs
// (system.posix_acl_access) and security labels among them.
bool CopyExtendedAttributes(int from, int to, int* error)
{
    std::vector<char> names;
    if (!AttributeNames(from, &names, error)) {
        return false;
    }
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + names.size(); name += std::strlen(name) + 1) {
        if (!AttributeValue(from, name, &value, error)) {
            if (*error != 0) {
                return false;
            }
            continue;  // removed since the list was read: nothing to copy
        }
        if (fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
            *error = errno;
            return false;
        }
    }
    return true;
}

struct timespec TimeOf(int64_t nanoseconds, const struct timespec& otherwise)
{
    if (nanoseconds < 0) {
        return otherwise;
    }
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
    time.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return time;
}

bool CopyTimes(int to, const struct stat& info, const ReplaceOptions& options, int* error)
{
    const struct timespec times[2] = {TimeOf(options.m_accessed, info.st_atim),
                                      TimeOf(options.m_modified, info.st_mtim)};
    if (futimens(to, times) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

}  // namespace

bool CReplacement::Create(const std::string& target, int* error)
{
    FileFacts facts;
    std::shared_ptr<const CFolder> folder = CFolder::Open(FolderOf(target), &facts, error);
    return folder != nullptr && Create(std::move(folder), BaseOf(target), error);
}

bool CReplacement::Create(std::shared_ptr<const CFolder> folder, const std::string& name, int* error)
{
    m_folder = std::move(folder);
    m_target = name;
    const int at = static_cast<int>(m_folder->m_handle);
    // A name taken meanwhile is someone else's: another is tried, and the
    // file found there is never touched.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = TemporaryNameFor(name, NextUnique());
        CInFlight inFlight(m_slot);
        m_file = openat(at, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_file >= 0) {
            inFlight.Hold(at, temporary);
            m_temporary = temporary;
            return true;
        }
        *error = errno;
        if (*error != EEXIST) {
            return false;
        }
    }
    return false;
}

bool CReplacement::Commit(FileHandle original, const ReplaceOptions& options, const char** step, int* error)
{
    struct stat info {};
    bool done = true;
    if (fstat(original, &info) != 0) {
        *step = "reading the attributes of";
        *error = errno;
        done = false;
    } else if (!CopyOwner(m_file, info, options.m_allowChown, error)) {
        // Before the mode: changing the owner clears the set-user-ID and
        // set-group-ID bits.
        *step = kKeepingOwnerStep;
        done = false;
    } else if (fchmod(m_file, info.st_mode & 07777) != 0) {
        *step = "setting the mode of";
        *error = errno;
        done = false;
    } else if (!CopyExtendedAttributes(original, m_file, error)) {
        *step = "copying the extended attributes of";
        done = false;
    } else if (options.m_keepTimes && !CopyTimes(m_file, info, options, error)) {
        *step = "keeping the times of";
        done = false;
    } else if (options.m_sync && fsync(m_file) != 0) {
        *step = "flushing";
        *error = errno;
        done = false;
    }
    int ignored = 0;
    Close(original, &ignored);
    if (!done) {
        return false;
    }
    const int file = m_file;
    m_file = kNoFile;
    if (!Close(file, error)) {
        *step = "writing";
        return false;
    }
    {
        CInFlight inFlight(m_slot);
        const int at = static_cast<int>(m_folder->m_handle);
        if (renameat(at, m_temporary.c_str(), at, m_target.c_str()) != 0) {
            *step = "renaming over";
            *error = errno;
            return false;
        }
        inFlight.Release();
    }
    m_temporary.clear();
    // The file is whole under its name; a failed flush of the folder leaves it
    // there, and says the rename may not outlive a crash.
    if (options.m_sync && fsync(static_cast<int>(m_folder->m_handle)) != 0) {
        *step = "flushing the folder of";
        *error = errno;
        return false;
    }
    return true;
}

void CReplacement::Discard()
{
    if (m_file != kNoFile) {
        int ignored = 0;
        Close(m_file, &ignored);
        m_file = kNoFile;
    }
    if (!m_temporary.empty()) {
        CInFlight inFlight(m_slot);
        unlinkat(static_cast<int>(m_folder->m_handle), m_temporary.c_str(), 0);
        inFlight.Release();
        m_temporary.clear();
    }
}

}  // namespace platform
