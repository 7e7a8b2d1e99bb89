#pragma once

#include <string>

// Names as the host sees them: whether its terminal shows UTF-8, and file
// name patterns.
namespace platform {

// Whether the character set of the locale the user chose (LC_ALL, LC_CTYPE,
// LANG; on Windows, the console's output page) is UTF-8. Only reads the
// locale's name and character set: the process's own locale stays "C", so no
// conversion or parsing ever depends on it.
bool LocaleCharsetIsUtf8();

// Whether the base name `name` matches the shell pattern `pattern` (`*`, `?`,
// `[...]`, a backslash quoting the next character), as grep's --include
// matches it: fnmatch(3) without flags on POSIX hosts, the same rules with
// letters compared without case on Windows, whose file names ignore it.
bool MatchesGlob(const char* pattern, const char* name);

// The last component of `path` (trailing separators ignored): "b" for "a/b/".
std::string BaseName(const std::string& path);

// The folder that holds what `path` names: "a" for "a/b", "." for "b".
std::string FolderOf(const std::string& path);

}  // namespace platform
