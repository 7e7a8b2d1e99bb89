// File names on Windows: UTF-8 inside and UTF-16 to the system, losslessly,
// and the \\?\ full name each file call takes, against the real current
// folders (under wine).
#include <gtest/gtest.h>

#include <string>
#include <windows.h>

#include "platform/names_win32.h"

namespace {

using platform::win32::FileCallName;
using platform::win32::Utf8FromWide;
using platform::win32::WideFromUtf8;

std::wstring FullPath(const wchar_t* name)
{
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(name, MAX_PATH, full, nullptr);
    return std::wstring(full, length);
}

std::wstring Name(const std::string& path)
{
    std::wstring name;
    DWORD error = 0;
    EXPECT_TRUE(FileCallName(path.c_str(), &name, &error)) << path;
    return name;
}

TEST(WindowsNames, EveryNameTravelsBothWaysUnchanged)
{
    const std::wstring kNames[] = {
        L"a.txt",          L"\u0101.txt",       L"\u043a\u043e\u0442", L"\u65e5\u672c",
        L"\U0001F600.txt", L"lone \xD800 lead", L"lone \xDC00 trail",  L"\xDBFF",  // Windows allows any 16-bit units
    };
    for (const std::wstring& name : kNames) {
        std::wstring back;
        ASSERT_TRUE(WideFromUtf8(Utf8FromWide(name), &back));
        EXPECT_EQ(back, name);
    }
    EXPECT_EQ(Utf8FromWide(std::wstring(L"\u0101\U0001F600")), "\xC4\x81\xF0\x9F\x98\x80");
    // No UTF-8 text: a stray continuation byte, an overlong form, a cut sequence, beyond U+10FFFF.
    for (const char* bytes : {"\x80", "\xC0\xAF", "\xE2\x82", "\xF4\x90\x80\x80"}) {
        std::wstring wide;
        EXPECT_FALSE(WideFromUtf8(bytes, &wide)) << bytes;
    }
}

TEST(WindowsNames, FileCallsTakeTheFullNameAsTyped)
{
    const std::wstring here = L"\\\\?\\" + FullPath(L".");
    const std::wstring root = L"\\\\?\\" + FullPath(L"\\");  // the current drive's, "C:\"
    const std::wstring drive = root.substr(4, 2);
    struct Case {
        const char* name;
        std::string path;
        std::wstring expected;
    };
    const Case kCases[] = {
        {"relative", "a.txt", here + L"\\a.txt"},
        {"trailing dot kept", "dup.", here + L"\\dup."},
        {"trailing space kept", "sub/dup ", here + L"\\sub\\dup "},
        {"a reserved name in a folder is a file", ".\\CON", here + L"\\CON"},
        {"dot and dot-dot", "x/./y/../z.txt", here + L"\\x\\z.txt"},
        {"rooted on the current drive", "\\top\\f", root + L"top\\f"},
        {"dot-dot stops at the root", "\\..\\..\\f", root + L"f"},
        {"drive-relative: the drive's current folder", std::string(drive.begin(), drive.end()) + "q.txt",
         here + L"\\q.txt"},
        {"a bare drive is its current folder", std::string(drive.begin(), drive.end()), here},
        {"absolute", "C:\\a\\b.", L"\\\\?\\C:\\a\\b."},
        {"a drive's root", "C:\\", L"\\\\?\\C:\\"},
        {"UNC", "\\\\server\\share\\d\\f", L"\\\\?\\UNC\\server\\share\\d\\f"},
        {"already full", "\\\\?\\C:\\x.", L"\\\\?\\C:\\x."},
        {"non-ASCII", "\xC4\x81.txt", here + L"\\\u0101.txt"},
        {"devices as given", "CON", L"CON"},
        {"a device with an extension", "nul.txt", L"nul.txt"},
        {"the device namespace", "\\\\.\\COM1", L"\\\\.\\COM1"},
        {"a file in the device namespace, as given", "\\\\.\\C:\\f", L"\\\\.\\C:\\f"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Name(c.path), c.expected);
    }
    std::wstring name;
    DWORD error = 0;
    EXPECT_FALSE(FileCallName("\xFF.txt", &name, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST(WindowsNames, DevicesAreToldByTheirBareName)
{
    struct Case {
        const wchar_t* name;
        bool device;
    };
    const Case kCases[] = {
        {L"CON", true},      {L"con.txt", true},   {L"Nul", true},     {L"COM1", true},           {L"lpt9.log", true},
        {L"AUX .c", true},   {L"C:PRN", false},    {L"CONOUT$", true}, {L"\\\\.\\pipe\\p", true}, {L"COM0", false},
        {L"CONSOLE", false}, {L"sub\\CON", false}, {L".\\nul", false}, {L"\\\\.\\C:\\f", false},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(platform::win32::IsDeviceName(c.name), c.device) << Utf8FromWide(std::wstring(c.name));
    }
}

}  // namespace
