#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/walk.h"

namespace platform {

namespace {

int64_t Nanoseconds(const struct timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void FactsOf(const struct stat& info, FileFacts* facts)
{
    facts->m_kind = S_ISREG(info.st_mode)   ? FileKind::kRegular
                    : S_ISLNK(info.st_mode) ? FileKind::kSymlink
                    : S_ISDIR(info.st_mode) ? FileKind::kDirectory
                                            : FileKind::kOther;
    facts->m_device = static_cast<uint64_t>(info.st_dev);
    facts->m_inode = static_cast<uint64_t>(info.st_ino);
    facts->m_size = static_cast<uint64_t>(info.st_size);
    facts->m_links = static_cast<uint64_t>(info.st_nlink);
    facts->m_modified = Nanoseconds(info.st_mtim);
    facts->m_changed = Nanoseconds(info.st_ctim);
    facts->m_accessed = Nanoseconds(info.st_atim);
}

// Whether /proc/self/fd/N reaches the folder a descriptor holds (Linux with
// /proc mounted): then the calls that take a path are given that path.
bool HasProcFd()
{
    static const bool s_has = access("/proc/self/fd/0", F_OK) == 0 || errno != ENOENT;
    return s_has;
}

// The names in the folder open as `handle` (taken: closed here, -1 when the
// open failed with errno), "." and ".." left out, in byte order.
bool ReadFolder(int handle, std::vector<std::string>* names, int* error)
{
    DIR* folder = handle < 0 ? nullptr : fdopendir(handle);
    if (folder == nullptr) {
        *error = errno;
        if (handle >= 0) {
            close(handle);
        }
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

}  // namespace

std::shared_ptr<const CFolder> CFolder::Open(const std::string& path, FileFacts* facts, int* error)
{
    return Adopt(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK), path, facts, error);
}

std::shared_ptr<const CFolder> CFolder::Adopt(intptr_t handle, std::string path, FileFacts* facts, int* error)
{
    struct stat info {};
    if (handle < 0 || fstat(static_cast<int>(handle), &info) != 0) {
        *error = errno;
        if (handle >= 0) {
            close(static_cast<int>(handle));
        }
        return nullptr;
    }
    FactsOf(info, facts);
    return std::shared_ptr<const CFolder>(new CFolder(handle, std::move(path)));
}

CFolder::~CFolder()
{
    close(static_cast<int>(m_handle));
}

std::shared_ptr<const CFolder> CFolder::OpenChild(const std::string& name, FileFacts* facts, int* error) const
{
    const int handle =
        openat(static_cast<int>(m_handle), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    return Adopt(handle, JoinPath(m_path, name), facts, error);
}

bool CFolder::List(std::vector<std::string>* names, int* error) const
{
    // A descriptor of its own for the stream: closedir closes it.
    return ReadFolder(openat(static_cast<int>(m_handle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), names, error);
}

bool Probe(const char* path, bool follow, FileFacts* facts, int* error)
{
    struct stat info {};
    if ((follow ? stat(path, &info) : lstat(path, &info)) != 0) {
        *error = errno;
        return false;
    }
    FactsOf(info, facts);
    facts->m_writable = access(path, W_OK) == 0;
    return true;
}

bool ListFolder(const char* path, std::vector<std::string>* names, int* error)
{
    return ReadFolder(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC), names, error);
}

bool CFolder::Look(const std::string& name, FileFacts* facts, int* error) const
{
    struct stat info {};
    if (fstatat(static_cast<int>(m_handle), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        *error = errno;
        return false;
    }
    FactsOf(info, facts);
    return true;
}

FileHandle CFolder::OpenFile(const std::string& name, int* error) const
{
    const int file = openat(static_cast<int>(m_handle), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        *error = errno;
        return kNoFile;
    }
    return file;
}

bool CFolder::MayWrite(const std::string& name) const
{
    return faccessat(static_cast<int>(m_handle), name.c_str(), W_OK, 0) == 0;
}

std::string CFolder::PathTo(const std::string& name) const
{
    return HasProcFd() ? "/proc/self/fd/" + std::to_string(m_handle) + "/" + name : JoinPath(m_path, name);
}

bool LookAtOpen(FileHandle file, FileFacts* facts, int* error)
{
    struct stat info {};
    if (fstat(file, &info) != 0) {
        *error = errno;
        return false;
    }
    FactsOf(info, facts);
    return true;
}

long ReadAt(FileHandle file, unsigned char* buffer, size_t size, uint64_t offset, int* error)
{
    for (;;) {
        const ssize_t got = pread(file, buffer, size, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<long>(got);
        }
        if (errno != EINTR) {
            *error = errno;
            return -1;
        }
    }
}

}  // namespace platform
