#pragma once

#include <string>

// The name of the temporary file that stands beside a file while a new
// version of it is written. It carries the file's own name, so one left by a
// killed run says whose it was, and it has a shape a walk can recognise and
// pass over. The same on every host.
namespace platform {

// ".NAME.glyphmill-XXXXXX" for the base name `base` (no folder) and six
// unique characters [A-Za-z0-9] made from `unique`. NAME is shortened, at a
// UTF-8 character boundary, so that the whole stays within 255 bytes.
std::string TemporaryNameFor(const std::string& base, unsigned long long unique);

// Whether the base name `base` has the shape of a temporary file of ours:
// ".NAME.glyphmill-XXXXXX" above, or ".glyphmill-files.*" as 1.2.0 named them.
bool IsTemporaryName(const char* base);

}  // namespace platform
