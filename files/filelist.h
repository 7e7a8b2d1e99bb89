#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "files/filesoptions.h"
#include "platform/walk.h"

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

// One file to convert: its name as the user gave it (or the walk met it),
// and the file to replace, reached by its name in the folder that holds it
// (a link's target with --follow-symlinks), with what the walk saw of it.
struct FileItem {
    std::string m_name;
    std::shared_ptr<const platform::CFolder> m_folder;
    std::string m_base;
    uint64_t m_device = 0;  // the identity the walk saw: the file opened must be that one
    uint64_t m_inode = 0;
    FileResult m_result;  // decided already (a skip, an error) unless kPending
};

// Hands `take` each file named by the operands, --files0-from and the folder
// walks, in that order, as it is met, each file once; those a policy skips
// come with their result. Walks pass over version-control folders, our own
// temporary files, what --exclude-dir leaves out and a folder met before;
// --include and --exclude choose among all files. False when the
// --files0-from file cannot be read (an item says why).
bool CollectFiles(const FilesSettings& settings, const std::function<void(FileItem&&)>& take);

// `name` as messages (and the names --check and -v print) show it: a
// backslash, control bytes and bytes above 0x7E escaped (but valid UTF-8 when
// the locale's character set is UTF-8), so that each name is one line and
// sends the terminal no command.
std::string Shown(const std::string& name);
