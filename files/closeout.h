#pragma once

#include <string>

// Standard output checked, as coreutils' close_stdout checks it: a list that
// did not reach its file (`-v > /dev/full`, a full disk, a closed pipe with
// SIGPIPE ignored) is an error, reported on standard error at exit with the
// reason of the first write that failed, and the exit status becomes
// `failureStatus`. Call first thing in main (the check runs at exit), and
// again once the status is known; the last status given counts.
void CheckStandardOutputAtExit(int failureStatus);

// A line for standard output (a name that -v or --check lists), and standard
// output flushed (before a message goes to standard error): the writes whose
// failure the check at exit reports.
void PrintOutputLine(const std::string& line);
// A name written as it is and ended by NUL (--print0).
void PrintOutputName0(const std::string& name);
void FlushStandardOutput();
