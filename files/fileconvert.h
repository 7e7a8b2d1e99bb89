#pragma once

#include "files/filelist.h"

// Converts one file in place (or, with --check, only compares), exactly as
// `glyphmill CONV -f=FILE -o=OUT` converts it, and says what became of it.
// `slot` is the worker's: its temporary file is the one the interrupt
// cleanup removes for it. Memory stays within the reader's, the output
// buffer's and the comparison's buffers, whatever the file's size.
FileResult ConvertFile(const FileItem& item, const FilesSettings& settings, int slot);
