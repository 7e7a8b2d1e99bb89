#pragma once

#include <functional>

#include "files/filelist.h"

// Called, where a test asks, at the two moments a file may be swapped or
// written behind the program's back: after the walk saw it and before it is
// opened, and after it was converted and before the rename.
struct ConversionHooks {
    std::function<void(const FileItem&)> m_beforeOpen;
    std::function<void(const FileItem&)> m_beforeRename;
};

// Converts one file in place (or, with --check, only compares), exactly as
// `glyphmill CONV -f=FILE -o=OUT` converts it, and says what became of it.
// `slot` is the worker's: its temporary file is the one the interrupt
// cleanup removes for it. Memory stays within the reader's, the output
// buffer's and the comparison's buffers, whatever the file's size.
FileResult ConvertFile(const FileItem& item, const FilesSettings& settings, int slot,
                       const ConversionHooks* hooks = nullptr);
