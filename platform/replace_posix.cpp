#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/replace.h"

namespace platform {

bool Probe(const char* path, bool follow, FileFacts* facts, int* error)
{
    struct stat info {};
    if ((follow ? stat(path, &info) : lstat(path, &info)) != 0) {
        *error = errno;
        return false;
    }
    facts->m_kind = S_ISREG(info.st_mode)   ? FileKind::kRegular
                    : S_ISLNK(info.st_mode) ? FileKind::kSymlink
                    : S_ISDIR(info.st_mode) ? FileKind::kDirectory
                                            : FileKind::kOther;
    facts->m_device = static_cast<uint64_t>(info.st_dev);
    facts->m_inode = static_cast<uint64_t>(info.st_ino);
    facts->m_size = static_cast<uint64_t>(info.st_size);
    facts->m_links = static_cast<uint64_t>(info.st_nlink);
    facts->m_writable = access(path, W_OK) == 0;
    return true;
}

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

bool ListFolder(const char* path, std::vector<std::string>* names, int* error)
{
    DIR* folder = opendir(path);
    if (folder == nullptr) {
        *error = errno;
        return false;
    }
    names->clear();
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names->emplace_back(entry->d_name);
        }
        errno = 0;
    }
    const int readError = errno;
    closedir(folder);
    if (readError != 0) {
        *error = readError;
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

namespace {

// The temporary files in flight, one slot per worker, for the signal handler:
// a slot's name is written while it is disarmed, then armed, so the handler
// (which may run on any thread) reads only whole names.
struct TemporarySlot {
    std::atomic<bool> m_armed{false};
    char m_name[PATH_MAX];
};
TemporarySlot* g_slots = nullptr;
int g_slotCount = 0;

extern "C" void RemoveTemporariesAndExit(int signal)
{
    for (int slot = 0; slot < g_slotCount; ++slot) {
        if (g_slots[slot].m_armed.load()) {
            unlink(g_slots[slot].m_name);
        }
    }
    // Ended by the signal itself, so the caller sees how the run ended.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Arms `slot` with `name`: the name is registered before the file exists, so
// that no signal can come between its creation and its registration.
bool Arm(int slot, const std::string& name)
{
    if (slot < 0 || slot >= g_slotCount) {
        return true;  // no cleanup installed (tests of the replacement alone)
    }
    if (name.size() >= sizeof g_slots[slot].m_name) {
        return false;
    }
    std::memcpy(g_slots[slot].m_name, name.c_str(), name.size() + 1);
    g_slots[slot].m_armed.store(true);
    return true;
}

void Disarm(int slot)
{
    if (slot >= 0 && slot < g_slotCount) {
        g_slots[slot].m_armed.store(false);
    }
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// A name no other run uses: the process, the slot and a count.
std::string TemporaryName(const std::string& target, int slot, unsigned attempt)
{
    static std::atomic<unsigned> s_count{0};
    static const long s_process = static_cast<long>(getpid());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".glyphmill-files.%ld.%d.%u", s_process, slot, s_count.fetch_add(1) + attempt);
    return JoinPath(FolderOf(target), suffix);
}

// Owner before mode: changing the owner clears the set-user-ID and
// set-group-ID bits. A user who may not give the file its owner still gives
// it the group where a member of it, or keeps their own.
bool CopyOwnerAndMode(int to, const struct stat& info, int* error)
{
    if (fchown(to, info.st_uid, info.st_gid) != 0) {
        (void)fchown(to, static_cast<uid_t>(-1), info.st_gid);
    }
    if (fchmod(to, info.st_mode & 07777) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

// Every extended attribute the user may read, POSIX ACLs
// (system.posix_acl_access) and security labels among them. A file system
// without them has none to copy.
bool CopyExtendedAttributes(int from, int to, int* error)
{
    const ssize_t listSize = flistxattr(from, nullptr, 0);
    if (listSize <= 0) {
        return listSize == 0 || errno == ENOTSUP;
    }
    std::vector<char> names(static_cast<size_t>(listSize));
    const ssize_t got = flistxattr(from, names.data(), names.size());
    if (got < 0) {
        *error = errno;
        return false;
    }
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + got; name += std::strlen(name) + 1) {
        const ssize_t size = fgetxattr(from, name, nullptr, 0);
        if (size < 0) {
            *error = errno;
            return false;
        }
        value.resize(static_cast<size_t>(size));
        const ssize_t read = fgetxattr(from, name, value.data(), value.size());
        if (read < 0 || fsetxattr(to, name, value.data(), static_cast<size_t>(read), 0) != 0) {
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

bool SyncFolder(const std::string& path, int* error)
{
    const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || fsync(folder) != 0) {
        *error = errno;
        if (folder >= 0) {
            close(folder);
        }
        return false;
    }
    close(folder);
    return true;
}

}  // namespace

void InstallInterruptCleanup(int slots)
{
    g_slots = new TemporarySlot[static_cast<size_t>(slots)];
    g_slotCount = slots;
    // A closed terminal (SIGHUP) and a closed pipe on standard output
    // (SIGPIPE, `glyphmill-files -v ... | head`) end the run as well.
    const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : kSignals) {
        sigaction(signal, &action, nullptr);
    }
}

bool CReplacement::Create(const std::string& target, int* error)
{
    m_target = target;
    for (unsigned attempt = 0;; ++attempt) {
        m_temporary = TemporaryName(target, m_slot, attempt);
        if (!Arm(m_slot, m_temporary)) {
            *error = ENAMETOOLONG;
            return false;
        }
        m_file = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_file >= 0) {
            return true;
        }
        *error = errno;
        Disarm(m_slot);
        m_temporary.clear();
        if (*error != EEXIST || attempt == 100) {
            return false;
        }
    }
}

bool CReplacement::Commit(FileHandle original, const ReplaceOptions& options, const char** step, int* error)
{
    struct stat info {};
    bool done = true;
    if (fstat(original, &info) != 0) {
        *step = "reading the attributes of";
        *error = errno;
        done = false;
    } else if (!CopyOwnerAndMode(m_file, info, error)) {
        *step = "setting the mode of";
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
    if (rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        *step = "renaming over";
        *error = errno;
        return false;
    }
    Disarm(m_slot);
    m_temporary.clear();
    // The file is whole under its name; a failed flush of the folder leaves it
    // there, and says the rename may not outlive a crash.
    if (options.m_sync && !SyncFolder(m_target, error)) {
        *step = "flushing the folder of";
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
        unlink(m_temporary.c_str());
        Disarm(m_slot);
        m_temporary.clear();
    }
}

}  // namespace platform
