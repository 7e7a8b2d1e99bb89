#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/replace.h"

namespace platform {

namespace {

// The C runtime's error numbers, which ErrorText describes, for the
// system's errors that a file operation meets.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// Names are the runtime's: bytes in the ANSI code page, as glyphmill opens them.
std::wstring Wide(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Narrow(const std::wstring& wide)
{
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], length, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

bool Probe(const char* path, bool follow, FileFacts* facts, int* error)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    // Opened for no access at all: nothing is read, and nothing waits.
    HANDLE handle = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = ErrnoOf(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    if (!known) {
        *error = ErrnoOf(GetLastError());
        return false;
    }
    const DWORD attributes = info.dwFileAttributes;
    facts->m_kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileKind::kSymlink
                    : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? FileKind::kDirectory
                    : type == FILE_TYPE_DISK                         ? FileKind::kRegular
                                                                     : FileKind::kOther;
    facts->m_device = info.dwVolumeSerialNumber;
    facts->m_inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts->m_size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    facts->m_links = info.nNumberOfLinks;
    facts->m_writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    return true;
}

bool ResolveLink(const char* path, std::string* target, int* error)
{
    HANDLE handle = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = ErrnoOf(GetLastError());
        return false;
    }
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleW(handle, buffer, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (length == 0 || length >= MAX_PATH * 4) {
        *error = length == 0 ? ErrnoOf(GetLastError()) : ENAMETOOLONG;
        return false;
    }
    *target = Narrow(buffer);
    return true;
}

bool ListFolder(const char* path, std::vector<std::string>* names, int* error)
{
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(Wide(JoinPath(path, "*")).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        *error = ErrnoOf(GetLastError());
        return false;
    }
    names->clear();
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            names->push_back(Narrow(name));
        }
    } while (FindNextFileW(search, &entry));
    const DWORD last = GetLastError();
    FindClose(search);
    if (last != ERROR_NO_MORE_FILES) {
        *error = ErrnoOf(last);
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return separated ? folder + name : folder + "\\" + name;
}

namespace {

struct TemporarySlot {
    std::atomic<bool> m_armed{false};
    wchar_t m_name[MAX_PATH * 4];
};
TemporarySlot* g_slots = nullptr;
int g_slotCount = 0;

// Runs on a thread of its own when the console is interrupted or closed.
BOOL WINAPI RemoveTemporaries(DWORD)
{
    for (int slot = 0; slot < g_slotCount; ++slot) {
        if (g_slots[slot].m_armed.load()) {
            DeleteFileW(g_slots[slot].m_name);
        }
    }
    return FALSE;  // and the default handler ends the process
}

bool Arm(int slot, const std::wstring& name)
{
    if (slot < 0 || slot >= g_slotCount) {
        return true;
    }
    if (name.size() >= MAX_PATH * 4) {
        return false;
    }
    std::copy(name.c_str(), name.c_str() + name.size() + 1, g_slots[slot].m_name);
    g_slots[slot].m_armed.store(true);
    return true;
}

void Disarm(int slot)
{
    if (slot >= 0 && slot < g_slotCount) {
        g_slots[slot].m_armed.store(false);
    }
}

bool CopyTimes(HANDLE from, HANDLE to)
{
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    return GetFileTime(from, &created, &accessed, &written) && SetFileTime(to, nullptr, &accessed, &written);
}

}  // namespace

void InstallInterruptCleanup(int slots)
{
    g_slots = new TemporarySlot[static_cast<size_t>(slots)];
    g_slotCount = slots;
    SetConsoleCtrlHandler(RemoveTemporaries, TRUE);
}

bool CReplacement::Create(const std::string& target, int* error)
{
    static std::atomic<unsigned> s_count{0};
    m_target = target;
    for (unsigned attempt = 0; attempt <= 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".glyphmill-files.%lu.%d.%u", GetCurrentProcessId(), m_slot,
                      s_count.fetch_add(1));
        m_temporary = JoinPath(FolderOf(target), suffix);
        const std::wstring wide = Wide(m_temporary);
        if (!Arm(m_slot, wide)) {
            *error = ENAMETOOLONG;
            return false;
        }
        // Created exclusively, shared with no other opener but the interrupt
        // cleanup, which may delete it while it is open.
        HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
            if (m_file != kNoFile) {
                return true;
            }
            CloseHandle(handle);
        }
        const DWORD last = GetLastError();
        *error = ErrnoOf(last);
        DeleteFileW(wide.c_str());
        Disarm(m_slot);
        m_temporary.clear();
        if (last != ERROR_FILE_EXISTS && last != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

// ReplaceFileW keeps the original's attributes, ACL and creation time; where it
// cannot (another file system), MoveFileExW replaces the file with write-through.
bool CReplacement::Commit(FileHandle original, const ReplaceOptions& options, const char** step, int* error)
{
    HANDLE from = reinterpret_cast<HANDLE>(_get_osfhandle(original));
    HANDLE to = reinterpret_cast<HANDLE>(_get_osfhandle(m_file));
    const DWORD attributes = GetFileAttributesW(Wide(m_target).c_str());
    bool done = true;
    if (options.m_keepTimes && !CopyTimes(from, to)) {
        *step = "keeping the times of";
        done = false;
    } else if (options.m_sync && !FlushFileBuffers(to)) {
        *step = "flushing";
        done = false;
    }
    if (!done) {
        *error = ErrnoOf(GetLastError());
    }
    int ignored = 0;
    Close(original, &ignored);
    const int file = m_file;
    m_file = kNoFile;
    if (!Close(file, error)) {
        *step = "writing";
        return false;
    }
    if (!done) {
        return false;
    }
    const std::wstring target = Wide(m_target);
    const std::wstring temporary = Wide(m_temporary);
    if (!ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesW(temporary.c_str(), attributes);
        }
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | (options.m_sync ? MOVEFILE_WRITE_THROUGH : 0);
        if (!MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
            *step = "renaming over";
            *error = ErrnoOf(GetLastError());
            return false;
        }
    }
    Disarm(m_slot);
    m_temporary.clear();
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
        DeleteFileW(Wide(m_temporary).c_str());
        Disarm(m_slot);
        m_temporary.clear();
    }
}

}  // namespace platform
