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
    kWalkNote,      // skipped in a folder walk: a note that leaves the exit status alone
    kNotConverted,  // a policy kept it as it is: a note, and status 1
    kFailed,        // an error: the file is as it was
    kUnreadable,    // could not be read (status 2 with --check)
};

struct FileResult {
    Outcome m_outcome = Outcome::kPending;
    std::string m_message;  // a line for standard error (or, -v and --check, the name for standard output)
};

// One name to convert: as the user gave it (or the walk met it), and the
// file to replace (a link's target with --follow-symlinks).
struct FileItem {
    std::string m_name;
    std::string m_path;
    uint64_t m_size = 0;  // when looked at: a Ctrl-Z before the last byte loses text
    bool m_fromWalk = false;
    FileResult m_result;  // decided already (a skip, an error) unless kPending
};

// The files named by the operands, --files0-from and the folder walks, in
// that order, each file once; those a policy skips come with their result.
// False when the --files0-from file cannot be read (reported).
bool CollectFiles(const FilesSettings& settings, std::vector<FileItem>* items);

// `name` as messages (and the names --check and -v print) show it: a
// backslash, control bytes and bytes above 0x7E escaped, so that each name
// is one line and sends the terminal no command.
std::string Shown(const std::string& name);
