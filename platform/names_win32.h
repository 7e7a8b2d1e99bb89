#pragma once

#include <string>
#include <windows.h>

// File names on Windows. Inside, a name is UTF-8 bytes, as the command line
// parser and the messages take it; every file call gets it back as UTF-16,
// so no name ever passes through the ANSI code page, where best fit turns
// "ā.txt" into "a.txt" and another file is opened. The host's files alone use
// this header.

namespace platform::win32 {

// UTF-8 to UTF-16 and back. A lone surrogate (a name Windows allows but no
// UTF-8 text holds) travels as its three-byte WTF-8 form, so that every name
// a folder lists reaches that file again. False for bytes that are no such text.
bool WideFromUtf8(const std::string& text, std::wstring* wide);
std::string Utf8FromWide(const wchar_t* wide, size_t length);
inline std::string Utf8FromWide(const std::wstring& wide)
{
    return Utf8FromWide(wide.data(), wide.size());
}

// Whether `name` is a device by its name alone: a reserved name (CON, NUL,
// AUX, PRN, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without an extension)
// without a folder or drive, or a name in the device namespace (\\.\COM1).
// Windows opens such an operand as the device; in a folder (".\CON",
// "sub\nul.txt", and "C:CON", which a walk of "C:" makes) the same name is an
// ordinary file.
bool IsDeviceName(const std::wstring& name);

// The name a file call takes for `path`: the full path in the \\?\ form,
// which Windows passes on without reinterpreting, so trailing dots and spaces,
// reserved names in a folder and paths beyond MAX_PATH reach the file named.
// Relative and drive-relative names ("sub\a.txt", "Y:", "C:p.txt") are
// resolved against the current folder of their drive. A device name (see
// IsDeviceName) is returned as given. False with *error for a name that is no
// UTF-8 text or no path.
bool FileCallName(const char* path, std::wstring* name, DWORD* error);

// A Windows error as the error numbers ErrorText describes: the C runtime's
// where one says the same, else the Windows code, marked.
int ErrorNumberOf(DWORD error);

// The text of an error number made by ErrorNumberOf from a Windows code, or
// null for a C runtime number.
const char* WindowsErrorText(int error);

// `text` shown as the text of an error met by this thread: the number to pass
// to ErrorText in place of a system error, when the message must say more
// than a code can (which file holds the only copy of a text).
int ErrorNumberWithText(const std::string& text);

// Whether the console was interrupted (Ctrl-C, Ctrl-Break, closed) in a
// run that cleans up after itself: writes then fail at once, so that each
// worker stops and removes its temporary file.
bool Interrupted();

// Where the unique part of a temporary file's name comes from: null (the
// default) for a mix of the process, the clock and a count; tests name their
// own to meet a name that is taken.
using UniqueSource = unsigned long long (*)();
void SetTemporaryUniqueSource(UniqueSource source);

}  // namespace platform::win32
