#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "convert/codepages.h"

// The one place where hosts differ: files as descriptors, the stream mode of
// standard output, and the OEM/ANSI code-page conversions. Everything above
// this interface is the same code on every host.

namespace platform {

// In-place conversions between the OEM and the ANSI code page. Windows calls
// the system's own, for the pages of its locale. Other hosts use compiled-in
// tables that give the same bytes, for the pages Windows gives the locale
// named by LC_ALL, LC_CTYPE or LANG (437 and 1252 for C, POSIX, none or one
// Windows does not know).
void OemToAnsi(unsigned char* buffer, uint32_t length);
void AnsiToOem(unsigned char* buffer, uint32_t length);

// From now on both conversions use the tables of `pair` on every host, in
// place of the locale's pages or the system's calls.
void UseCodePages(codepages::Pair pair);

// The OEM page of the locale named by LC_ALL, LC_CTYPE or LANG (on Windows,
// the system's), which GLYPHMILL_CODEPAGES=utf-8 pairs with UTF-8.
uint16_t LocaleOemPage();

// Both pages of the locale (on Windows, the system's OEM and ANSI pages).
codepages::Pair LocalePages();

// What -a and -a- do with a character the target page lacks
// (GLYPHMILL_UNMAPPED); kWindows until set. Anything but kWindows needs the
// tables: UseCodePages is called first, with the locale's pages if no pair
// was named.
void UseUnmapped(codepages::Unmapped policy);
codepages::Unmapped ChosenUnmapped();

// The single-byte OEM page that UseCodePages chose with UTF-8 for its ANSI
// side, or 0: -a and -a- then convert between that page and UTF-8 with the
// converters of convert/utf8.h, not in place.
uint16_t ChosenUtf8OemPage();

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

// Called first thing in main: each of the descriptors 0, 1 and 2 that the
// tool was started without is taken by the null device, opened the wrong
// way round (0 for writing, 1 and 2 for reading), so that the tool's own
// files never get those numbers while using them still fails as a closed
// descriptor does: no input, and messages and output go nowhere. A no-op on
// Windows, whose runtime keeps its standard streams apart from the files.
void ReserveStandardDescriptors();

// Called first thing in main, before the arguments are read: on Windows
// `argc` and `argv` become the UTF-16 command line in UTF-8, so that every
// name reaches the file it names (the runtime's own argv has passed it
// through the ANSI code page). File names are UTF-8 wherever this interface
// takes one there. A no-op elsewhere, where names are bytes already.
void UseUtf8CommandLine(int* argc, char*** argv);

// Whether `path` names one of the standard descriptors the tool was started
// without, through /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N or
// /proc/self/fd/N (or a link to one of them): opening it would open the null
// device that stands in for that descriptor, reading nothing or swallowing
// the text, where the descriptor itself fails. Only looks, never opens.
// Always false on Windows.
bool NamesClosedStandardDescriptor(const char* path);

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

// The file at `path` as a buffered stream, in binary mode, for reading: null
// with errno set (to a number ErrorText describes) on failure.
std::FILE* OpenStreamForReading(const char* path);

// Reads up to `size` bytes, retrying interrupted calls: the count read, 0 at
// the end of the input, or -1 with *error set.
long ReadSome(FileHandle file, unsigned char* buffer, size_t size, int* error);

// Writes all `size` bytes, retrying interrupted calls and short writes.
bool WriteAll(FileHandle file, const unsigned char* buffer, size_t size, int* error);

bool Close(FileHandle file, int* error);

// Whether `file` and the file at `path` (or the two open files) are one and
// the same file that a run reading one while writing the other would destroy
// or never finish: the same regular file or the same FIFO (POSIX), whatever
// the names used to reach it. Devices (the null device, terminals) and
// sockets are never the same file. `path` is only looked at, not opened, so
// the check comes before the output is opened (which could block on a FIFO).
bool IsSameFile(FileHandle file, const char* path);
bool IsSameFile(FileHandle a, FileHandle b);

// Whether the file at `inputPath` is a FIFO that is also the output: the
// file at `outputPath`, or standard output when that is null. Opening a FIFO
// for reading waits for its first writer, which here could only be this run,
// so this is asked before the input is opened. Only looks, never opens.
// Always false on Windows, which has no FIFOs among its files.
bool IsFifoAndOutput(const char* inputPath, const char* outputPath);

// The error every read of `file` would give before any byte, found without
// reading: EISDIR for a directory (which POSIX lets open for reading), EBADF
// for a descriptor open for writing only or closed (a standard input started
// closed or as `0>file`). 0 when a read may succeed. The job checks it before
// opening the output.
int ReadRefusal(FileHandle file);

// The system's description of an error number.
const char* ErrorText(int error);

}  // namespace platform
