#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/replace.h"

// Folders walked and files opened relative to the folder that holds them, so
// that no component of a path, swapped for a symbolic link while the program
// runs, can lead a walk or a conversion outside the tree, and no path is too
// long to reach. POSIX hosts hold each folder by a descriptor (openat,
// fstatat, fdopendir); Windows reaches it by its path.

namespace platform {

class CFolder {
public:
    // The folder `path` names, symbolic links followed (the user named it),
    // and what it is. Null with *error when it cannot be opened.
    static std::shared_ptr<const CFolder> Open(const std::string& path, FileFacts* facts, int* error);

    ~CFolder();
    CFolder(const CFolder&) = delete;
    CFolder& operator=(const CFolder&) = delete;

    // The folder `name` in this one, never through a symbolic link (ELOOP,
    // or ENOTDIR when it is no folder any more), and what it is.
    std::shared_ptr<const CFolder> OpenChild(const std::string& name, FileFacts* facts, int* error) const;

    // The names in the folder, "." and ".." left out, in byte order.
    bool List(std::vector<std::string>* names, int* error) const;

    // What `name` is: the link itself if it is one.
    bool Look(const std::string& name, FileFacts* facts, int* error) const;

    // `name` opened for reading, never through a symbolic link (ELOOP) and
    // never waiting on a FIFO: what it is is then asked of the open file.
    FileHandle OpenFile(const std::string& name, int* error) const;

    // Whether the user may write `name` (the file itself, not the folder).
    bool MayWrite(const std::string& name) const;

    // A path that reaches `name` through this very folder, whatever became of
    // the folder's own path since it was opened (on Linux /proc/self/fd/N/NAME),
    // for the calls that take a path; the folder's path and `name` where the
    // host has no such path.
    std::string PathTo(const std::string& name) const;

private:
    friend class CReplacement;  // makes its temporary file relative to m_handle

    CFolder(intptr_t handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
    // The folder open as `handle` (-1: the open failed, with errno), looked
    // at; closed again when it cannot be (POSIX).
    static std::shared_ptr<const CFolder> Adopt(intptr_t handle, std::string path, FileFacts* facts, int* error);

    intptr_t m_handle;  // the descriptor; unused on Windows
    std::string m_path;
};

// What the open `file` is (m_writable is left false): its identity, size,
// link count and times, as one look.
bool LookAtOpen(FileHandle file, FileFacts* facts, int* error);

// Reads up to `size` bytes at `offset` without moving the file's position,
// retrying interrupted calls: the count read, 0 at the end, or -1 with *error.
long ReadAt(FileHandle file, unsigned char* buffer, size_t size, uint64_t offset, int* error);

}  // namespace platform
