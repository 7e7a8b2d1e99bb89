#include <cstring>
#include <fnmatch.h>
#include <langinfo.h>
#include <locale.h>

#include "platform/names.h"

namespace platform {

bool LocaleCharsetIsUtf8()
{
    // A locale object of its own: setlocale would change the process's.
    const locale_t chosen = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (chosen == static_cast<locale_t>(0)) {
        return false;  // a locale that is not installed: the C locale, ASCII
    }
    const char* charset = nl_langinfo_l(CODESET, chosen);
    const bool utf8 = charset != nullptr && std::strcmp(charset, "UTF-8") == 0;
    freelocale(chosen);
    return utf8;
}

bool MatchesGlob(const char* pattern, const char* name)
{
    return fnmatch(pattern, name, 0) == 0;
}

std::string BaseName(const std::string& path)
{
    const auto separator = [](char c) { return c == '/'; };
    size_t end = path.size();
    while (end > 1 && separator(path[end - 1])) {
        --end;
    }
    size_t start = end;
    while (start > 0 && !separator(path[start - 1])) {
        --start;
    }
    return start == end ? path.substr(0, end) : path.substr(start, end - start);
}

std::string FolderOf(const std::string& path)
{
    const auto separator = [](char c) { return c == '/'; };
    size_t end = path.size();
    while (end > 0 && !separator(path[end - 1])) {
        --end;
    }
    while (end > 1 && separator(path[end - 1])) {
        --end;
    }
    return end == 0 ? std::string(".") : path.substr(0, end);
}

}  // namespace platform
