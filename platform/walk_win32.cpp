#include <cerrno>
#include <io.h>
#include <windows.h>

#include "platform/walk.h"

// Windows reaches each folder by its path: a folder is not held open, and a
// file is looked at through the existing calls (which open nothing for
// writing and follow no reparse point unless asked). What is checked by
// identity (volume serial number and file index) is checked the same.

namespace platform {

namespace {

// `name` in the folder `path`: "Y:" alone is the drive's current folder, so
// a name follows it without a separator.
std::string Join(const std::string& path, const std::string& name)
{
    return !path.empty() && path.back() == ':' ? path + name : JoinPath(path, name);
}

int64_t Ticks(const FILETIME& time)
{
    return static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) * 100;
}

}  // namespace

std::shared_ptr<const CFolder> CFolder::Open(const std::string& path, FileFacts* facts, int* error)
{
    if (!Probe(path.c_str(), true, facts, error)) {
        return nullptr;
    }
    if (facts->m_kind != FileKind::kDirectory) {
        *error = ENOTDIR;
        return nullptr;
    }
    return std::shared_ptr<const CFolder>(new CFolder(0, path));
}

CFolder::~CFolder() = default;

std::shared_ptr<const CFolder> CFolder::OpenChild(const std::string& name, FileFacts* facts, int* error) const
{
    const std::string path = Join(m_path, name);
    if (!Probe(path.c_str(), false, facts, error)) {
        return nullptr;
    }
    if (facts->m_kind != FileKind::kDirectory) {
        *error = facts->m_kind == FileKind::kSymlink ? ELOOP : ENOTDIR;
        return nullptr;
    }
    return std::shared_ptr<const CFolder>(new CFolder(0, path));
}

bool CFolder::List(std::vector<std::string>* names, int* error) const
{
    return ListFolder(m_path.c_str(), names, error);
}

bool CFolder::Look(const std::string& name, FileFacts* facts, int* error) const
{
    return Probe(Join(m_path, name).c_str(), false, facts, error);
}

FileHandle CFolder::OpenFile(const std::string& name, int* error) const
{
    const std::string path = Join(m_path, name);
    FileFacts facts;
    if (!Probe(path.c_str(), false, &facts, error)) {
        return kNoFile;
    }
    if (facts.m_kind == FileKind::kSymlink) {
        *error = ELOOP;
        return kNoFile;
    }
    return OpenForReading(path.c_str(), error);
}

bool CFolder::MayWrite(const std::string& name) const
{
    FileFacts facts;
    int error = 0;
    return Probe(Join(m_path, name).c_str(), false, &facts, &error) && facts.m_writable;
}

std::string CFolder::PathTo(const std::string& name) const
{
    return Join(m_path, name);
}

bool LookAtOpen(FileHandle file, FileFacts* facts, int* error)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file));
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        *error = EBADF;
        return false;
    }
    facts->m_kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::kDirectory
                    : GetFileType(handle) == FILE_TYPE_DISK                 ? FileKind::kRegular
                                                                            : FileKind::kOther;
    facts->m_device = info.dwVolumeSerialNumber;
    facts->m_inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts->m_size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    facts->m_links = info.nNumberOfLinks;
    facts->m_modified = Ticks(info.ftLastWriteTime);
    facts->m_changed = facts->m_modified;  // Windows keeps no change time apart
    facts->m_accessed = Ticks(info.ftLastAccessTime);
    return true;
}

// The worker that owns `file` is the only one to use it, so the position can
// be moved and put back around the read.
long ReadAt(FileHandle file, unsigned char* buffer, size_t size, uint64_t offset, int* error)
{
    const __int64 position = _telli64(file);
    if (position < 0 || _lseeki64(file, static_cast<__int64>(offset), SEEK_SET) < 0) {
        *error = errno;
        return -1;
    }
    const long got = ReadSome(file, buffer, size, error);
    if (_lseeki64(file, position, SEEK_SET) < 0) {
        *error = errno;
        return -1;
    }
    return got;
}

}  // namespace platform
