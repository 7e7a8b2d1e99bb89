#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/filesoptions.h"

// What became of one file, and the one line that says so.
enum class Outcome {
    kPending,       // not yet converted
    kDone,          // converted, or already right
    kWouldChange,   // --check: the conversion would change it
    kSkipped,       // not this program's to convert (a link, a FIFO, a binary file...): a note, status alone
    kNotConverted,  // the conversion would lose something (text after a Ctrl-Z, a hard link...): status 1
    kFailed,        // an error: the file is as it was
    kUnreadable,    // could not be read (status 2 with --check)
};

struct FileResult {
    Outcome m_outcome = Outcome::kPending;
    std::string m_message;  // a line for standard error (or, for kDone and kWouldChange, the name to list)
};

// One name to convert: as the user gave it (or the walk met it), and the
// file to replace (a link's target with --follow-symlinks).
struct FileItem {
    std::string m_name;
    std::string m_path;
    uint64_t m_links = 0;     // when looked at: a rename would split several
    bool m_writable = false;  // when looked at: the user may write the file
    FileResult m_result;      // decided already (a skip, an error) unless kPending
};

// The files named by the operands, --files0-from and the folder walks, in
// that order, each file once; those a policy skips come with their result.
// Walks pass over version-control folders, our own temporary files and what
// --exclude-dir leaves out; --include and --exclude choose among all files.
// False when the --files0-from file cannot be read (reported).
bool CollectFiles(const FilesSettings& settings, std::vector<FileItem>* items);

// `name` as messages (and the names --check and -v print) show it: a
// backslash, control bytes and bytes above 0x7E escaped (but valid UTF-8 when
// the locale's character set is UTF-8), so that each name is one line and
// sends the terminal no command.
std::string Shown(const std::string& name);
