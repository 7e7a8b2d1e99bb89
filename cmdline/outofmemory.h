#pragma once

// Memory exhaustion in the framework ends the process: "out of memory" and a
// blank line go to standard output and the exit status is 1. The framework
// gets this through a process-wide new-handler, so every allocation it makes
// (its lists and maps growing, CStrBuf storage) is covered without a check at
// each call site and without an exception ever leaving the framework.
//
// Installs that handler once per process. A handler the client installed
// beforehand is left in place: the client has then chosen its own policy.
// Cheap after the first call; every CStrBuf constructor calls it, and every
// framework object holds a CStrBuf, so the handler is in place before any of
// the framework's containers can grow.
void InstallOutOfMemoryHandler();
