#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

// Files converted in place: what a file is, found without opening it, the
// names in a folder, and a new version of a file written beside it and renamed
// over it only when complete, keeping what the file had. The many-files
// program's host interface; glyphmill itself never uses it.

namespace platform {

class CFolder;  // platform/walk.h

enum class FileKind { kRegular, kSymlink, kDirectory, kOther };  // kOther: FIFO, device, socket

struct FileFacts {
    FileKind m_kind = FileKind::kOther;
    uint64_t m_device = 0;  // with m_inode, the file's identity
    uint64_t m_inode = 0;
    uint64_t m_size = 0;
    uint64_t m_links = 0;     // names the file has (a rename would split them)
    bool m_writable = false;  // the user may write the file itself
    int64_t m_modified = 0;   // modification and change times, in nanoseconds: a file that is
    int64_t m_changed = 0;    // written while it is converted moves one of them
    int64_t m_accessed = 0;   // access time, in nanoseconds
};

// What `path` is, without opening it: the link itself unless `follow`. False
// with *error when it cannot be looked at.
bool Probe(const char* path, bool follow, FileFacts* facts, int* error);

// The file a symbolic link finally names, as a path without links, so that
// its target is replaced where it is and the link stays a link.
bool ResolveLink(const char* path, std::string* target, int* error);

// The names in a folder, "." and ".." left out, in byte order.
bool ListFolder(const char* path, std::vector<std::string>* names, int* error);

// `folder` and `name` joined with the host's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Before any worker starts: `slots` temporary files may be in flight at once
// (one per worker), and SIGINT, SIGTERM, SIGHUP and SIGPIPE (Ctrl-C,
// Ctrl-Break and closing the console on Windows) remove those that are, then
// end the program as the signal does; from the signal on, no temporary file
// is created. A signal ignored at start (nohup) stays ignored. SIGXFSZ is
// ignored: a file that outgrows `ulimit -f` fails alone ("File too large").
// A replacement names its slot.
void InstallInterruptCleanup(int slots);

// As the run ends, once every worker is done: a signal that came before
// still ends the run by that signal, though the run's work is done, as it
// would have had it been taken at once (it is taken apart from the workers).
void FinishInterruptCleanup();

struct ReplaceOptions {
    bool m_keepTimes = false;   // the original's access and modification times
    bool m_sync = true;         // the file flushed to disk before the rename, the folder after it
    bool m_allowChown = false;  // an owner or group that cannot be kept becomes the user's
    // The times to keep as the file had them before it was read (nanoseconds;
    // -1: as the original has them when committed). Reading it moves its
    // access time.
    int64_t m_accessed = -1;
    int64_t m_modified = -1;
};

// The step Commit names when the new file cannot be given the original's
// owner and group (EPERM, EINVAL: the user may not); m_allowChown goes on.
inline constexpr char kKeepingOwnerStep[] = "keeping the owner and group of";

// A new version of a file, written to a temporary file in the file's own
// folder (created exclusively, readable by its owner alone), then given what
// the original has and renamed over it. Any failure, and the destructor,
// remove the temporary file: the original stays as it was.
class CReplacement {
public:
    explicit CReplacement(int slot) : m_slot(slot) {}
    ~CReplacement() { Discard(); }
    CReplacement(const CReplacement&) = delete;
    CReplacement& operator=(const CReplacement&) = delete;

    // Creates the temporary file beside `target`; write the new text to Handle().
    bool Create(const std::string& target, int* error);
    // The same for `name` in `folder`, reached through the folder held open
    // (POSIX: its descriptor, so that the temporary file is made, renamed and
    // removed in that very folder, whatever became of its path).
    bool Create(std::shared_ptr<const CFolder> folder, const std::string& name, int* error);
    FileHandle Handle() const { return m_file; }

    // Gives the temporary file the original's owner and group (see
    // kKeepingOwnerStep), mode, extended attributes (and with them POSIX ACLs and security
    // labels) and, on request, times; flushes it; renames it over the target;
    // flushes the folder. `original` is the target open for reading: the call
    // closes it (Windows cannot replace an open file). On failure *step names
    // the step that failed ("setting the mode of", "renaming"...).
    bool Commit(FileHandle original, const ReplaceOptions& options, const char** step, int* error);

    // Removes the temporary file, if any.
    void Discard();

private:
    int m_slot;
    FileHandle m_file = kNoFile;
    std::shared_ptr<const CFolder> m_folder;  // POSIX: what the names below are relative to
    std::string m_target;
    std::string m_temporary;
};

}  // namespace platform
