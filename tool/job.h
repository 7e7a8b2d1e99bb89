#pragma once

#include "stream/driver.h"

// Exit statuses of the tool.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // a file could not be opened, read, written or closed
// The command line did not parse or chose no conversion, or GLYPHMILL_SIMD or
// GLYPHMILL_CODEPAGES names nothing known.
constexpr int kExitUsage = 2;

struct JobSettings {
    const char* m_inputPath = nullptr;   // null: standard input
    const char* m_outputPath = nullptr;  // null: standard output
    bool m_binaryStandardOutput = false;
    Conversion m_conversion;
};

// Opens the input and then the output, converts, closes, and reports any
// failure on standard error in one line. Returns the exit status.
int RunJob(const JobSettings& settings);
