#include "platform/names_win32.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace platform::win32 {

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The code point of the sequence at `text[at]` and its length, or a length
// of 0 for bytes that start no sequence. Surrogates are accepted in their
// three-byte form (WTF-8), as Utf8FromWide writes a lone one.
uint32_t DecodeOne(const std::string& text, size_t at, size_t* length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    const size_t left = text.size() - at;
    *length = 0;
    if (lead < 0x80) {
        *length = 1;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF && left >= 2 && IsContinuation(byte(1))) {
        *length = 2;
        return (uint32_t{lead} & 0x1F) << 6 | (byte(1) & 0x3Fu);
    }
    if (lead >= 0xE0 && lead <= 0xEF && left >= 3 && IsContinuation(byte(1)) && IsContinuation(byte(2))) {
        const uint32_t point = (uint32_t{lead} & 0x0F) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
        *length = point >= 0x800 ? 3 : 0;
        return point;
    }
    if (lead >= 0xF0 && lead <= 0xF4 && left >= 4 && IsContinuation(byte(1)) && IsContinuation(byte(2)) &&
        IsContinuation(byte(3))) {
        const uint32_t point =
            (uint32_t{lead} & 0x07) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 | (byte(3) & 0x3Fu);
        *length = point >= 0x10000 && point <= 0x10FFFF ? 4 : 0;
        return point;
    }
    return 0;
}

void EncodeOne(uint32_t point, std::string* text)
{
    if (point < 0x80) {
        *text += static_cast<char>(point);
    } else if (point < 0x800) {
        *text += static_cast<char>(0xC0 | point >> 6);
        *text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *text += static_cast<char>(0xE0 | point >> 12);
        *text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *text += static_cast<char>(0xF0 | point >> 18);
        *text += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        *text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        *text += static_cast<char>(0x80 | (point & 0x3F));
    }
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

wchar_t Upper(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The full path GetFullPathNameW gives `name` ("." for the current folder,
// "Y:" for the current folder of drive Y, "\" for the current drive's root).
bool FullPathOf(const wchar_t* name, std::wstring* full, DWORD* error)
{
    DWORD size = MAX_PATH;
    for (;;) {
        full->assign(size, L'\0');
        const DWORD length = GetFullPathNameW(name, size, &(*full)[0], nullptr);
        if (length == 0) {
            *error = GetLastError();
            return false;
        }
        if (length < size) {
            full->resize(length);
            return true;
        }
        size = length;
    }
}

// A full path from GetFullPathNameW in the \\?\ form, and the length of its
// root ("\\?\C:" or "\\?\UNC\server\share"), which ".." never climbs above.
bool LongForm(const std::wstring& full, std::wstring* name, size_t* root, DWORD* error)
{
    std::wstring path = full;
    if (StartsWith(path, L"\\\\?\\")) {
        path.erase(0, 4);
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        *name = L"\\\\?\\" + path;
        *root = 6;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share\rest: the server and the share make the root.
        const size_t server = path.find_first_of(L"\\/", 2);
        const size_t share = server == std::wstring::npos ? server : path.find_first_of(L"\\/", server + 1);
        if (server == std::wstring::npos || server == 2 || share == server + 1) {
            *error = ERROR_BAD_PATHNAME;
            return false;
        }
        *name = L"\\\\?\\UNC\\" + path.substr(2);
        *root = 8 + (share == std::wstring::npos ? path.size() : share) - 2;
    } else if (StartsWith(path, L"UNC\\")) {
        *name = L"\\\\?\\" + path;
        const size_t server = path.find(L'\\', 4);
        const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        *root = 4 + (share == std::wstring::npos ? path.size() : share);
    } else {
        *error = ERROR_BAD_PATHNAME;
        return false;
    }
    while (name->size() > *root && IsSeparator(name->back())) {
        name->pop_back();
    }
    return true;
}

// `base` (in the long form, its root `root` characters long) with the
// components of `rest` appended as they are: "." dropped, ".." taking one
// off, every other kept whole, trailing dots and spaces included.
std::wstring Appended(std::wstring base, size_t root, const std::wstring& rest)
{
    size_t at = 0;
    while (at <= rest.size()) {
        size_t end = at;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        const std::wstring part = rest.substr(at, end - at);
        if (part == L"..") {
            const size_t last = base.find_last_of(L'\\');
            if (base.size() > root && last != std::wstring::npos && last >= root) {
                base.resize(last);
            }
        } else if (!part.empty() && part != L".") {
            base += L'\\';
            base += part;
        }
        at = end + 1;
    }
    if (base.size() == root) {
        base += L'\\';  // "\\?\C:" alone is the volume, not its root folder
    }
    return base;
}

bool FileCallNameOf(const std::wstring& wide, std::wstring* name, DWORD* error)
{
    if (wide.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    // Names already in a namespace of their own (\\?\, \\.\) are the user's to give.
    if (IsDeviceName(wide) || StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) {
        *name = wide;
        return true;
    }
    std::wstring start;
    size_t restAt = 0;
    if (wide.size() >= 2 && IsSeparator(wide[0]) && IsSeparator(wide[1])) {
        // \\server\share is the root; what follows is kept as typed.
        const size_t server = wide.find_first_of(L"\\/", 2);
        const size_t share = server == std::wstring::npos ? server : wide.find_first_of(L"\\/", server + 1);
        restAt = share == std::wstring::npos ? wide.size() : share;
        start = wide.substr(0, restAt);
    } else if (wide.size() >= 2 && IsDriveLetter(wide[0]) && wide[1] == L':') {
        // "C:\x" from the drive's root, "C:x" from the drive's current folder.
        const bool rooted = wide.size() >= 3 && IsSeparator(wide[2]);
        start = rooted ? wide.substr(0, 2) + L"\\" : wide.substr(0, 2);
        restAt = rooted ? 3 : 2;
    } else if (IsSeparator(wide[0])) {
        start = L"\\";  // the current drive's root
        restAt = 1;
    } else {
        start = L".";
    }
    std::wstring full;
    std::wstring base;
    size_t root = 0;
    if (!FullPathOf(start.c_str(), &full, error) || !LongForm(full, &base, &root, error)) {
        return false;
    }
    *name = Appended(base, root, wide.substr(restAt));
    return true;
}

}  // namespace

bool WideFromUtf8(const std::string& text, std::wstring* wide)
{
    wide->clear();
    for (size_t at = 0; at < text.size();) {
        size_t length = 0;
        const uint32_t point = DecodeOne(text, at, &length);
        if (length == 0) {
            return false;
        }
        if (point >= 0x10000) {
            wide->push_back(static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10)));
            wide->push_back(static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            wide->push_back(static_cast<wchar_t>(point));
        }
        at += length;
    }
    return true;
}

std::string Utf8FromWide(const wchar_t* wide, size_t length)
{
    std::string text;
    for (size_t at = 0; at < length; ++at) {
        const uint32_t unit = static_cast<uint16_t>(wide[at]);
        const uint32_t next = at + 1 < length ? static_cast<uint16_t>(wide[at + 1]) : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            EncodeOne(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), &text);
            ++at;
        } else {
            EncodeOne(unit, &text);
        }
    }
    return text;
}

bool IsDeviceName(const std::wstring& name)
{
    if (StartsWith(name, L"\\\\.\\") || StartsWith(name, L"//./")) {
        // \\.\C:\x is a file by another spelling; everything else there is a device.
        return !(name.size() >= 7 && IsDriveLetter(name[4]) && name[5] == L':' && IsSeparator(name[6]));
    }
    // "C:CON" is the device to Windows too, but a walk of "C:" names its
    // files so: with a drive, the name is a file.
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        return false;
    }
    size_t at = 0;
    // The stem: up to the first dot, trailing spaces dropped, as Windows reads it.
    std::wstring stem;
    for (; at < name.size() && name[at] != L'.'; ++at) {
        stem += Upper(name[at]);
    }
    while (!stem.empty() && stem.back() == L' ') {
        stem.pop_back();
    }
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (stem == device) {
            return true;
        }
    }
    return stem.size() == 4 && (StartsWith(stem, L"COM") || StartsWith(stem, L"LPT")) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

bool FileCallName(const char* path, std::wstring* name, DWORD* error)
{
    std::wstring wide;
    if (!WideFromUtf8(path, &wide)) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    return FileCallNameOf(wide, name, error);
}

namespace {

// Far above the C runtime's error numbers.
constexpr int kWindowsMark = 1 << 24;
constexpr int kOwnText = kWindowsMark - 1;

thread_local std::string t_ownText;
thread_local std::string t_systemText;

}  // namespace

int ErrorNumberOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return kWindowsMark + static_cast<int>(error & 0xFFFF);
    }
}

int ErrorNumberWithText(const std::string& text)
{
    t_ownText = text;
    return kOwnText;
}

const char* WindowsErrorText(int error)
{
    if (error == kOwnText) {
        return t_ownText.c_str();
    }
    if (error < kWindowsMark) {
        return nullptr;
    }
    const DWORD code = static_cast<DWORD>(error - kWindowsMark);
    switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return "in use by another program";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return "invalid name";
    case ERROR_NOT_SAME_DEVICE:
        return "on another volume";
    default:
        break;
    }
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == '.' ||
                          buffer[length - 1] == ' ')) {
        --length;
    }
    char number[64];
    std::snprintf(number, sizeof number, "Windows error %lu", static_cast<unsigned long>(code));
    t_systemText = length > 0 ? std::string(buffer, length) + " (" + number + ")" : std::string(number);
    return t_systemText.c_str();
}

}  // namespace platform::win32
