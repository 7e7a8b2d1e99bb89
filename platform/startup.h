#pragma once

// The start-up both programs share: the environment variables that choose
// how the conversions run (GLYPHMILL_SIMD, GLYPHMILL_CODEPAGES,
// GLYPHMILL_UNMAPPED), read and applied once, before any file is opened or
// any worker started, so that a text converts the same in either program.
namespace platform {

// Applies the variables that are set. A value that is not one of those
// accepted is refused with one line on standard error, begun with
// `messageStart` ("Error" for glyphmill, the program's name for
// glyphmill-files) and ": ", naming what is accepted and showing the value
// escaped; false then, and the caller exits with its usage status. On
// success the level, the code pages and the policy are fixed before any
// worker starts (the pages' tables are built by their first use, safely
// from any thread).
bool ApplyEnvironment(const char* messageStart);

}  // namespace platform
