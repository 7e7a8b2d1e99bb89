#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include "platform/names_win32.h"
#include "platform/platform.h"
#include "platform/tablecodepages.h"

// The Windows headers still define these two names as macros for the old
// OemToCharA and CharToOemA; ours are functions of their own.
#undef OemToAnsi
#undef AnsiToOem

namespace platform {

void OemToAnsi(unsigned char* buffer, uint32_t length)
{
    if (const codepages::Pair* chosen = tables::ChosenPair()) {
        tables::MapOemToAnsi(*chosen, buffer, length);
        return;
    }
    OemToCharBuffA(reinterpret_cast<LPCSTR>(buffer), reinterpret_cast<LPSTR>(buffer), length);
}

void AnsiToOem(unsigned char* buffer, uint32_t length)
{
    if (const codepages::Pair* chosen = tables::ChosenPair()) {
        tables::MapAnsiToOem(*chosen, buffer, length);
        return;
    }
    CharToOemBuffA(reinterpret_cast<LPCSTR>(buffer), reinterpret_cast<LPSTR>(buffer), length);
}

uint16_t LocaleOemPage()
{
    return static_cast<uint16_t>(GetOEMCP());
}

codepages::Pair LocalePages()
{
    return codepages::Pair{static_cast<uint16_t>(GetOEMCP()), static_cast<uint16_t>(GetACP())};
}

namespace {

// The C runtime counts bytes in an int; larger requests are split.
constexpr size_t kMaxTransfer = INT_MAX / 2;

unsigned int TransferSize(size_t size)
{
    return static_cast<unsigned int>(size < kMaxTransfer ? size : kMaxTransfer);
}

}  // namespace

// The runtime opens files from descriptor 3 on whatever the standard
// handles are, so a missing one cannot capture the tool's files.
void ReserveStandardDescriptors()
{
}

FileHandle StandardInput()
{
    // The reader applies the text-mode rules itself, the same way on every
    // host; the runtime's own translation would apply them twice.
    _setmode(_fileno(stdin), _O_BINARY);
    return _fileno(stdin);
}

FileHandle StandardOutput()
{
    return _fileno(stdout);
}

void SetBinaryMode(FileHandle file)
{
    _setmode(file, _O_BINARY);
}

namespace {

// Opens `path` by its UTF-16 full name (a device name as given) as the
// runtime's descriptor: CreateFileW with the runtime's own sharing, so that a
// file opens as _open would open it, only by its true name.
FileHandle OpenByName(const char* path, DWORD access, DWORD disposition, int flags, int* error)
{
    std::wstring name;
    DWORD failure = 0;
    if (!win32::FileCallName(path, &name, &failure)) {
        *error = win32::ErrorNumberOf(failure);
        return kNoFile;
    }
    const HANDLE handle = CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = win32::ErrorNumberOf(GetLastError());
        return kNoFile;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        *error = errno;
        CloseHandle(handle);
    }
    return fd;
}

}  // namespace

FileHandle OpenForReading(const char* path, int* error)
{
    return OpenByName(path, GENERIC_READ, OPEN_EXISTING, _O_RDONLY, error);
}

FileHandle OpenForWriting(const char* path, int* error)
{
    return OpenByName(path, GENERIC_WRITE, CREATE_ALWAYS, _O_WRONLY, error);
}

std::FILE* OpenStreamForReading(const char* path)
{
    int error = 0;
    const FileHandle file = OpenForReading(path, &error);
    std::FILE* stream = file == kNoFile ? nullptr : _fdopen(file, "rb");
    if (stream == nullptr) {
        if (file != kNoFile) {
            error = errno;
            _close(file);
        }
        errno = error;
    }
    return stream;
}

long ReadSome(FileHandle file, unsigned char* buffer, size_t size, int* error)
{
    // The runtime reports a pipe whose writer has gone as its end, not as an
    // error, just as a POSIX read does.
    const int got = _read(file, buffer, TransferSize(size));
    if (got < 0) {
        *error = errno;
    }
    return got;
}

bool WriteAll(FileHandle file, const unsigned char* buffer, size_t size, int* error)
{
    while (size > 0) {
        if (win32::Interrupted()) {
            *error = EINTR;
            return false;
        }
        // In text mode the runtime writes each LF as CR LF and still counts
        // the bytes it was given.
        const int put = _write(file, buffer, TransferSize(size));
        if (put < 0) {
            *error = errno;
            return false;
        }
        if (put == 0) {
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
    if (_close(file) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

namespace {

// A file's identity: the volume it lives on and its index there, which stay
// the same whatever name, link or redirection reaches it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

bool IdentifyRegularFile(HANDLE handle, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    return true;
}

bool IdentifyRegularFile(FileHandle file, FileIdentity& identity)
{
    return IdentifyRegularFile(reinterpret_cast<HANDLE>(_get_osfhandle(file)), identity);
}

bool IdentifyRegularFile(const char* path, FileIdentity& identity)
{
    // No access rights asked for: only the attributes are read, and a file
    // that someone else holds open can still be identified.
    std::wstring name;
    DWORD failure = 0;
    if (!win32::FileCallName(path, &name, &failure)) {
        return false;
    }
    const HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool identified = IdentifyRegularFile(handle, identity);
    CloseHandle(handle);
    return identified;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

}  // namespace

// Only files on disk are identified: a named pipe (\\.\pipe\name) opened
// twice gives two ends of one instance or two instances, never a file that
// reads back what the run writes, and the names are rare on the command line.
bool IsSameFile(FileHandle file, const char* path)
{
    FileIdentity a;
    FileIdentity b;
    return IdentifyRegularFile(file, a) && IdentifyRegularFile(path, b) && SameFile(a, b);
}

bool IsSameFile(FileHandle a, FileHandle b)
{
    FileIdentity ia;
    FileIdentity ib;
    return IdentifyRegularFile(a, ia) && IdentifyRegularFile(b, ib) && SameFile(ia, ib);
}

bool NamesClosedStandardDescriptor(const char*)
{
    return false;
}

bool IsFifoAndOutput(const char*, const char*)
{
    return false;
}

// _open already refuses a directory (EACCES), so one never gets this far.
int ReadRefusal(FileHandle)
{
    return 0;
}

const char* ErrorText(int error)
{
    const char* text = win32::WindowsErrorText(error);
    return text != nullptr ? text : std::strerror(error);
}

// The runtime's argv holds the command line in the ANSI code page, where
// best fit has already turned a name into another; the UTF-16 command line
// holds every name as typed.
void UseUtf8CommandLine(int* argc, char*** argv)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return;
    }
    static std::vector<std::string> s_arguments;
    static std::vector<char*> s_pointers;
    s_arguments.clear();
    for (int i = 0; i < count; ++i) {
        s_arguments.push_back(win32::Utf8FromWide(wide[i], std::wcslen(wide[i])));
    }
    LocalFree(wide);
    s_pointers.clear();
    for (std::string& argument : s_arguments) {
        s_pointers.push_back(&argument[0]);
    }
    s_pointers.push_back(nullptr);
    *argc = count;
    *argv = s_pointers.data();
}

}  // namespace platform
