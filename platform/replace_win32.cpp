#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <vector>
#include <windows.h>

#include "platform/names_win32.h"
#include "platform/replace.h"
#include "platform/tempname.h"
#include "platform/walk.h"

namespace platform {

using win32::ErrorNumberOf;
using win32::FileCallName;
using win32::Utf8FromWide;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr SECURITY_INFORMATION kWholeSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// What the swap must find unchanged, and what it carries over.
struct FileState {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = 0;
    FILETIME written{};
    DWORD attributes = 0;
};

bool StateOf(HANDLE handle, FileState* state)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    *state = {info.dwVolumeSerialNumber, info.nFileIndexHigh,  info.nFileIndexLow,   info.nFileSizeHigh,
              info.nFileSizeLow,         info.ftLastWriteTime, info.dwFileAttributes};
    return true;
}

bool SameState(const FileState& a, const FileState& b)
{
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow && a.sizeHigh == b.sizeHigh &&
           a.sizeLow == b.sizeLow && CompareFileTime(&a.written, &b.written) == 0;
}

bool ErrorFrom(DWORD failure, int* error)
{
    *error = ErrorNumberOf(failure);
    return false;
}

// The user may replace the file: it opens for writing and deletion, which
// its ACL and read-only attribute decide (the attribute alone would say yes
// to a file the ACL denies). Nothing is written. A file someone holds open
// without sharing cannot tell; its conversion will say so.
bool MayReplace(const std::wstring& name)
{
    const HANDLE handle = CreateFileW(name.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

std::wstring BaseOf(const std::wstring& name)
{
    return name.substr(name.find_last_of(L'\\') + 1);
}

// `final`, a final name's last component, names the file `opened` named.
// Wine drops the trailing dots and spaces of a final name.
bool SameBase(const std::wstring& final, std::wstring opened)
{
    const auto same = [&] {
        return CompareStringOrdinal(final.c_str(), static_cast<int>(final.size()), opened.c_str(),
                                    static_cast<int>(opened.size()), TRUE) == CSTR_EQUAL;
    };
    if (same()) {
        return true;
    }
    while (!opened.empty() && (opened.back() == L'.' || opened.back() == L' ')) {
        opened.pop_back();
    }
    return same();
}

// Whether the file open as `handle` has a name of its own other than the one
// it was opened by (`name`, in the long form): wine shows a Linux symbolic
// link as the file it names, even to FILE_FLAG_OPEN_REPARSE_POINT, and its
// ReplaceFileW then removes that file. Its final name, and only its, tells.
// A short (8.3) name is first made long.
bool ReachedByAnotherName(HANDLE handle, const std::wstring& name)
{
    wchar_t final[MAX_PATH * 4];
    const DWORD length = GetFinalPathNameByHandleW(handle, final, MAX_PATH * 4, FILE_NAME_NORMALIZED);
    const std::wstring base = BaseOf(name);
    if (length == 0 || length >= MAX_PATH * 4 || base.empty() || SameBase(BaseOf(final), base)) {
        return false;
    }
    wchar_t longName[MAX_PATH * 4];
    const DWORD longLength = GetLongPathNameW(name.c_str(), longName, MAX_PATH * 4);
    return longLength == 0 || longLength >= MAX_PATH * 4 || !SameBase(BaseOf(final), BaseOf(longName));
}

}  // namespace

bool Probe(const char* path, bool follow, FileFacts* facts, int* error)
{
    std::wstring name;
    DWORD failure = 0;
    if (!FileCallName(path, &name, &failure)) {
        return ErrorFrom(failure, error);
    }
    if (win32::IsDeviceName(name)) {
        // Never opened: opening a serial port or the console does something.
        *facts = FileFacts{};
        facts->m_kind = FileKind::kOther;
        return true;
    }
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    // Opened for no access at all: nothing is read, and nothing waits.
    HANDLE handle = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return ErrorFrom(GetLastError(), error);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD lastError = GetLastError();
    const DWORD type = GetFileType(handle);
    const bool linked = !follow && known && type == FILE_TYPE_DISK && ReachedByAnotherName(handle, name);
    CloseHandle(handle);
    if (type != FILE_TYPE_DISK) {
        *facts = FileFacts{};
        facts->m_kind = FileKind::kOther;
        return true;
    }
    if (!known) {
        return ErrorFrom(lastError, error);
    }
    const DWORD attributes = info.dwFileAttributes;
    facts->m_kind = linked || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FileKind::kSymlink
                    : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0             ? FileKind::kDirectory
                                                                               : FileKind::kRegular;
    facts->m_device = info.dwVolumeSerialNumber;
    facts->m_inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts->m_size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    facts->m_links = info.nNumberOfLinks;
    facts->m_writable =
        facts->m_kind == FileKind::kRegular && (attributes & FILE_ATTRIBUTE_READONLY) == 0 && MayReplace(name);
    return true;
}

bool ResolveLink(const char* path, std::string* target, int* error)
{
    std::wstring name;
    DWORD failure = 0;
    if (!FileCallName(path, &name, &failure)) {
        return ErrorFrom(failure, error);
    }
    HANDLE handle =
        CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return ErrorFrom(GetLastError(), error);
    }
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length =
            GetFinalPathNameByHandleW(handle, &resolved[0], static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
        if (length < resolved.size()) {
            break;
        }
        resolved.resize(length + 1);
    }
    const DWORD lastError = GetLastError();
    CloseHandle(handle);
    if (length == 0) {
        return ErrorFrom(lastError, error);
    }
    *target = Utf8FromWide(resolved.data(), length);
    return true;
}

// Our own temporary files are left out: one left by a killed run is never
// converted, nor taken for the user's file.
bool ListFolder(const char* path, std::vector<std::string>* names, int* error)
{
    std::wstring folder;
    DWORD failure = 0;
    if (!FileCallName(path, &folder, &failure)) {
        return ErrorFrom(failure, error);
    }
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        return ErrorFrom(GetLastError(), error);
    }
    names->clear();
    do {
        const std::wstring name = entry.cFileName;
        const std::string utf8 = Utf8FromWide(name);
        if (name != L"." && name != L".." && !IsTemporaryName(utf8.c_str())) {
            names->push_back(utf8);
        }
    } while (FindNextFileW(search, &entry));
    const DWORD last = GetLastError();
    FindClose(search);
    if (last != ERROR_NO_MORE_FILES) {
        return ErrorFrom(last, error);
    }
    std::sort(names->begin(), names->end());
    return true;
}

// "Y:" names the current folder of drive Y, so its files are "Y:name", not
// "Y:\name" (the drive's root).
std::string JoinPath(const std::string& folder, const std::string& name)
{
    const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    const bool bareDrive = folder.size() == 2 && folder[1] == ':';
    return separated || bareDrive || folder.empty() ? folder + name : folder + "\\" + name;
}

namespace {

// The temporary files in flight, one slot per worker. The console handler
// and the workers take a slot's lock to arm, disarm or remove its file, so
// that once the handler has passed a slot no temporary file appears there.
struct TemporarySlot {
    CRITICAL_SECTION m_lock;
    bool m_armed = false;
    std::wstring m_name;
};
TemporarySlot* g_slots = nullptr;
int g_slotCount = 0;
std::atomic<bool> g_interrupted{false};

class CSlotLock {
public:
    explicit CSlotLock(int slot) : m_slot(slot >= 0 && slot < g_slotCount ? &g_slots[slot] : nullptr)
    {
        if (m_slot != nullptr) {
            EnterCriticalSection(&m_slot->m_lock);
        }
    }
    ~CSlotLock()
    {
        if (m_slot != nullptr) {
            LeaveCriticalSection(&m_slot->m_lock);
        }
    }
    CSlotLock(const CSlotLock&) = delete;
    CSlotLock& operator=(const CSlotLock&) = delete;

    void Arm(const std::wstring& name)
    {
        if (m_slot != nullptr) {
            m_slot->m_name = name;
            m_slot->m_armed = true;
        }
    }
    void Disarm()
    {
        if (m_slot != nullptr) {
            m_slot->m_armed = false;
        }
    }

private:
    TemporarySlot* m_slot;
};

bool AnyArmed()
{
    bool armed = false;
    for (int slot = 0; slot < g_slotCount; ++slot) {
        EnterCriticalSection(&g_slots[slot].m_lock);
        armed = armed || g_slots[slot].m_armed;
        LeaveCriticalSection(&g_slots[slot].m_lock);
    }
    return armed;
}

// Runs on a thread of its own when the console is interrupted or closed:
// from now on no temporary file is created or renamed and every write fails,
// so each worker stops and removes its own temporary file, which closed goes
// at once. One that does not within two seconds (a read that hangs) has its
// file removed here: deleted while open, it goes when the process ends. Then
// the process ends as Windows ends one interrupted, with STATUS_CONTROL_C_EXIT
// (the default handler, which would do the same, ends it with status 0 under
// wine), and at once, as a signal ends a POSIX one: an orderly exit would
// flush the runtime's streams, whose locks a worker may hold.
BOOL WINAPI RemoveTemporaries(DWORD)
{
    g_interrupted.store(true);
    for (int wait = 0; wait < 200 && AnyArmed(); ++wait) {
        Sleep(10);
    }
    for (int slot = 0; slot < g_slotCount; ++slot) {
        EnterCriticalSection(&g_slots[slot].m_lock);
        if (g_slots[slot].m_armed) {
            DeleteFileW(g_slots[slot].m_name.c_str());
            g_slots[slot].m_armed = false;
        }
        LeaveCriticalSection(&g_slots[slot].m_lock);
    }
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

bool CopyTimes(HANDLE from, HANDLE to)
{
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    return GetFileTime(from, &created, &accessed, &written) && SetFileTime(to, nullptr, &accessed, &written);
}

// The attributes a user gives a file (hidden, system, archive, not indexed),
// the only ones a handle can set; none is FILE_ATTRIBUTE_NORMAL.
bool CopyAttributes(DWORD attributes, HANDLE to)
{
    constexpr DWORD kCarried =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & kCarried) != 0 ? attributes & kCarried : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic) != 0;
}

// A security descriptor whose DACL lets the user alone in, inherited from
// nothing: the temporary file holds the new text of a file others may not
// be allowed to read. Null when the user's SID cannot be had.
SECURITY_ATTRIBUTES* OwnerOnly()
{
    // All a text file needs, execution left out (which wine would map to the
    // file's mode as an x bit).
    constexpr DWORD kOwnerAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER;
    struct Built {
        std::vector<unsigned char> m_user;
        std::vector<unsigned char> m_acl;
        SECURITY_DESCRIPTOR m_descriptor{};
        SECURITY_ATTRIBUTES m_attributes{};
        bool m_ready = false;
    };
    static const std::unique_ptr<Built> s_built = [] {
        auto built = std::make_unique<Built>();
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            return built;
        }
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        built->m_user.resize(size);
        const bool have = size > 0 && GetTokenInformation(token, TokenUser, built->m_user.data(), size, &size);
        CloseHandle(token);
        if (!have) {
            return built;
        }
        PSID user = reinterpret_cast<TOKEN_USER*>(built->m_user.data())->User.Sid;
        built->m_acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user));
        PACL acl = reinterpret_cast<PACL>(built->m_acl.data());
        built->m_ready = InitializeAcl(acl, static_cast<DWORD>(built->m_acl.size()), ACL_REVISION) &&
                         AddAccessAllowedAce(acl, ACL_REVISION, kOwnerAccess, user) &&
                         InitializeSecurityDescriptor(&built->m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                         SetSecurityDescriptorDacl(&built->m_descriptor, TRUE, acl, FALSE) &&
                         SetSecurityDescriptorControl(&built->m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        built->m_attributes = {sizeof(SECURITY_ATTRIBUTES), &built->m_descriptor, FALSE};
        return built;
    }();
    return s_built->m_ready ? &s_built->m_attributes : nullptr;
}

// What `what` names of the original's security (owner, group, DACL) given to
// the temporary file, which would otherwise keep its own owner-only DACL.
bool CarrySecurity(const std::wstring& from, const std::wstring& to, SECURITY_INFORMATION what, DWORD* failure)
{
    DWORD size = 0;
    GetFileSecurityW(from.c_str(), what, nullptr, 0, &size);
    std::vector<unsigned char> descriptor(size);
    if (size == 0 || !GetFileSecurityW(from.c_str(), what, descriptor.data(), size, &size) ||
        !SetFileSecurityW(to.c_str(), what, descriptor.data())) {
        *failure = GetLastError();
        return false;
    }
    return true;
}

bool CopyStream(const std::wstring& from, const std::wstring& to, DWORD* failure)
{
    const HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE out = in == INVALID_HANDLE_VALUE
                           ? INVALID_HANDLE_VALUE
                           : CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool copied = out != INVALID_HANDLE_VALUE;
    std::vector<char> buffer(1 << 16);
    while (copied) {
        DWORD got = 0;
        DWORD put = 0;
        copied = ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
        if (!copied || got == 0) {
            break;
        }
        copied = WriteFile(out, buffer.data(), got, &put, nullptr) != 0 && put == got;
    }
    *failure = GetLastError();
    if (out != INVALID_HANDLE_VALUE) {
        copied = CloseHandle(out) != 0 && copied;
    }
    if (in != INVALID_HANDLE_VALUE) {
        CloseHandle(in);
    }
    return copied;
}

// The original's alternate data streams (the mark of a downloaded file among
// them) copied to the file the fallback moves over it. A file system without
// streams has none to copy.
bool CarryStreams(const std::wstring& from, const std::wstring& to, DWORD* failure)
{
    WIN32_FIND_STREAM_DATA stream{};
    HANDLE search = FindFirstStreamW(from.c_str(), FindStreamInfoStandard, &stream, 0);
    if (search == INVALID_HANDLE_VALUE) {
        *failure = GetLastError();
        return *failure == ERROR_HANDLE_EOF || *failure == ERROR_INVALID_PARAMETER ||
               *failure == ERROR_CALL_NOT_IMPLEMENTED || *failure == ERROR_INVALID_FUNCTION ||
               *failure == ERROR_NOT_SUPPORTED;
    }
    bool copied = true;
    do {
        const std::wstring name = stream.cStreamName;
        if (name != L"::$DATA") {
            copied = CopyStream(from + name, to + name, failure);
        }
    } while (copied && FindNextStreamW(search, &stream));
    if (copied && GetLastError() != ERROR_HANDLE_EOF) {
        *failure = GetLastError();
        copied = false;
    }
    FindClose(search);
    return copied;
}

// The state of the file now at `name`, if there is one.
bool StateAt(const std::wstring& name, FileState* state, DWORD* failure)
{
    const HANDLE handle = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *failure = GetLastError();
        return false;
    }
    const bool known = StateOf(handle, state);
    *failure = GetLastError();
    CloseHandle(handle);
    return known;
}

std::wstring FolderOf(const std::wstring& name)
{
    return name.substr(0, name.find_last_of(L'\\'));
}

// How a message shows a file beside `target`: in the folder as the user named it.
std::string ShownBeside(const std::string& target, const std::wstring& file)
{
    const size_t slash = target.find_last_of("/\\");
    const size_t folderLength = slash != std::string::npos ? slash + 1 : target.size() >= 2 && target[1] == ':' ? 2 : 0;
    return target.substr(0, folderLength) + Utf8FromWide(file.substr(file.find_last_of(L'\\') + 1));
}

uint64_t Mixed(uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

win32::UniqueSource g_uniqueSource = nullptr;

}  // namespace

bool win32::Interrupted()
{
    return g_interrupted.load(std::memory_order_relaxed);
}

void win32::SetTemporaryUniqueSource(UniqueSource source)
{
    g_uniqueSource = source;
}

void InstallInterruptCleanup(int slots)
{
    g_slots = new TemporarySlot[static_cast<size_t>(slots)];
    for (int slot = 0; slot < slots; ++slot) {
        InitializeCriticalSection(&g_slots[slot].m_lock);
    }
    g_slotCount = slots;
    SetConsoleCtrlHandler(RemoveTemporaries, TRUE);
}

// The handler ends the process once it has cleaned up.
void FinishInterruptCleanup()
{
    while (g_interrupted.load()) {
        Sleep(INFINITE);
    }
}

// Created exclusively (CREATE_NEW) under a name no other file has: a file
// that has the name already is someone's, never ours to remove, and another
// name is tried.
bool CReplacement::Create(const std::string& target, int* error)
{
    static std::atomic<uint64_t> s_count{0};
    m_target = target;
    std::wstring full;
    DWORD failure = 0;
    if (!FileCallName(target.c_str(), &full, &failure)) {
        return ErrorFrom(failure, error);
    }
    const std::wstring folder = FolderOf(full);
    const std::string base = Utf8FromWide(full.substr(folder.size() + 1));
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const uint64_t seed = uint64_t{GetCurrentProcessId()} << 32 ^ static_cast<uint64_t>(now.QuadPart);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name;
        const uint64_t unique = g_uniqueSource != nullptr ? g_uniqueSource() : Mixed(seed + s_count.fetch_add(1));
        win32::WideFromUtf8(TemporaryNameFor(base, unique), &name);
        name = folder + L"\\" + name;
        CSlotLock lock(m_slot);
        if (g_interrupted.load()) {
            *error = EINTR;
            return false;
        }
        // Shared with no other opener but the interrupt cleanup, which may
        // delete it while it is open.
        HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, OwnerOnly(),
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            failure = GetLastError();
            if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return ErrorFrom(failure, error);
        }
        m_file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (m_file == kNoFile) {
            *error = errno;
            CloseHandle(handle);
            DeleteFileW(name.c_str());  // ours: created just now
            return false;
        }
        lock.Arm(name);
        m_temporary = Utf8FromWide(name);
        return true;
    }
    return ErrorFrom(ERROR_FILE_EXISTS, error);
}

// Windows reaches a folder by its path.
bool CReplacement::Create(std::shared_ptr<const CFolder> folder, const std::string& name, int* error)
{
    return Create(folder->PathTo(name), error);
}

// ReplaceFileW gives the new file the original's identity: its ACL, owner,
// attributes, streams and creation time. Where it fails with the original
// untouched (another file system, a system without it), MoveFileExW takes its
// place, after the original's security and streams are carried over by
// hand. Where it fails half-way, the temporary file may be the only copy of
// the text: it is kept and named.
bool CReplacement::Commit(FileHandle original, const ReplaceOptions& options, const char** step, int* error)
{
    HANDLE from = reinterpret_cast<HANDLE>(_get_osfhandle(original));
    HANDLE to = reinterpret_cast<HANDLE>(_get_osfhandle(m_file));
    FileState before;
    bool done = true;
    if (!StateOf(from, &before)) {
        *step = "reading";
        done = false;
    } else if (!CopyAttributes(before.attributes, to)) {
        *step = "setting the attributes of";
        done = false;
    } else if (options.m_keepTimes && !CopyTimes(from, to)) {
        *step = "keeping the times of";
        done = false;
    } else if (options.m_sync && !FlushFileBuffers(to)) {
        *step = "flushing";
        done = false;
    }
    if (!done) {
        *error = ErrorNumberOf(GetLastError());
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
    std::wstring target;
    std::wstring temporary;
    DWORD failure = 0;
    if (!FileCallName(m_target.c_str(), &target, &failure) || !win32::WideFromUtf8(m_temporary, &temporary)) {
        *step = "renaming over";
        return ErrorFrom(failure, error);
    }
    CSlotLock lock(m_slot);
    if (g_interrupted.load()) {
        *step = "renaming over";
        *error = EINTR;
        return false;
    }
    if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        lock.Disarm();
        m_temporary.clear();
        return true;
    }
    const DWORD replaceFailure = GetLastError();
    *step = "replacing";
    FileState now;
    const bool found = StateAt(target, &now, &failure);
    const bool gone = !found && (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND);
    if (replaceFailure == ERROR_UNABLE_TO_MOVE_REPLACEMENT || replaceFailure == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
        gone) {
        lock.Disarm();
        *error = win32::ErrorNumberWithText(std::string(gone ? "the original is gone" : "the original may be gone") +
                                            "; its new text is kept in '" + ShownBeside(m_target, temporary) + "'");
        m_temporary.clear();
        return false;
    }
    // A file another program holds would refuse the fallback too.
    if (!found || replaceFailure == ERROR_SHARING_VIOLATION || replaceFailure == ERROR_LOCK_VIOLATION ||
        replaceFailure == ERROR_USER_MAPPED_FILE) {
        return ErrorFrom(replaceFailure, error);
    }
    if (!SameState(before, now)) {
        *error = win32::ErrorNumberWithText("it changed while being converted");
        return false;
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (options.m_sync ? MOVEFILE_WRITE_THROUGH : 0);
    if (!CarrySecurity(target, temporary, kWholeSecurity, &failure)) {
        *step = "giving the owner and permissions of";
    } else if (!CarryStreams(target, temporary, &failure)) {
        *step = "copying the streams of";
    } else if (!MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
        failure = GetLastError();
        *step = "renaming over";
    } else {
        lock.Disarm();
        m_temporary.clear();
        return true;
    }
    return ErrorFrom(failure, error);
}

void CReplacement::Discard()
{
    CSlotLock lock(m_slot);
    if (m_file != kNoFile) {
        int ignored = 0;
        Close(m_file, &ignored);
        m_file = kNoFile;
    }
    if (!m_temporary.empty()) {
        std::wstring temporary;
        win32::WideFromUtf8(m_temporary, &temporary);
        DeleteFileW(temporary.c_str());
        lock.Disarm();
        m_temporary.clear();
    }
}

}  // namespace platform
