#pragma once

#include <cstddef>
#include <cstdint>

// The one place where hosts differ: files as descriptors, the stream mode of
// standard output, and the OEM/ANSI code-page conversions. Everything above
// this interface is the same code on every host.

namespace platform {

// In-place code-page conversions. Windows calls the system's own; other hosts
// use code page 437 as OEM and 1252 as ANSI through compiled-in tables.
void OemToAnsi(unsigned char* buffer, uint32_t length);
void AnsiToOem(unsigned char* buffer, uint32_t length);

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

// Standard input in binary mode: the tool applies the text-mode rules itself.
FileHandle StandardInput();
FileHandle StandardOutput();

// Standard output is left as the host's text mode has it unless asked: on
// Windows text mode writes LF as CR LF, which would undo the line-ending
// conversions. A no-op elsewhere.
void SetBinaryMode(FileHandle file);

// Both return kNoFile and set *error on failure. Files are opened in binary
// mode; the output is created or emptied.
FileHandle OpenForReading(const char* path, int* error);
FileHandle OpenForWriting(const char* path, int* error);

// Reads up to `size` bytes, retrying interrupted calls: the count read, 0 at
// the end of the input, or -1 with *error set.
long ReadSome(FileHandle file, unsigned char* buffer, size_t size, int* error);

// Writes all `size` bytes, retrying interrupted calls and short writes.
bool WriteAll(FileHandle file, const unsigned char* buffer, size_t size, int* error);

bool Close(FileHandle file, int* error);

// Whether `file` and the file at `path` (or the two open files) are one and
// the same regular file, whatever the names used to reach it.
bool IsSameRegularFile(FileHandle file, const char* path);
bool IsSameRegularFile(FileHandle a, FileHandle b);

// The system's description of an error number.
const char* ErrorText(int error);

}  // namespace platform
