#include <windows.h>

#include "platform/names.h"

namespace platform {

namespace {

unsigned char Folded(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// A bracket expression at `p` (just after the '['): whether `byte` is in it,
// and where the pattern goes on. An unclosed '[' is an ordinary character.
bool InBracket(const unsigned char*& p, unsigned char byte, bool* closed)
{
    const unsigned char* q = p;
    const bool negated = *q == '!' || *q == '^';
    q += negated ? 1 : 0;
    bool found = false;
    for (bool first = true; *q != '\0' && (first || *q != ']'); first = false) {
        unsigned char low = *q == '\\' && q[1] != '\0' ? *++q : *q;
        unsigned char high = low;
        ++q;
        if (*q == '-' && q[1] != ']' && q[1] != '\0') {
            high = q[1] == '\\' && q[2] != '\0' ? q[2] : q[1];
            q += q[1] == '\\' && q[2] != '\0' ? 3 : 2;
        }
        found = found || (Folded(byte) >= Folded(low) && Folded(byte) <= Folded(high));
    }
    *closed = *q == ']';
    if (*closed) {
        p = q + 1;
    }
    return found != negated;
}

bool Matches(const unsigned char* p, const unsigned char* name)
{
    for (; *p != '\0'; ++p, ++name) {
        if (*p == '*') {
            while (*p == '*') {
                ++p;
            }
            for (;; ++name) {
                if (Matches(p, name)) {
                    return true;
                }
                if (*name == '\0') {
                    return false;
                }
            }
        }
        if (*name == '\0') {
            return false;
        }
        if (*p == '?') {
            continue;
        }
        if (*p == '[') {
            const unsigned char* after = p + 1;
            bool closed = false;
            const bool in = InBracket(after, *name, &closed);
            if (closed) {
                if (!in) {
                    return false;
                }
                p = after - 1;
                continue;
            }
        }
        const unsigned char literal = *p == '\\' && p[1] != '\0' ? *++p : *p;
        if (Folded(literal) != Folded(*name)) {
            return false;
        }
    }
    return *name == '\0';
}

}  // namespace

bool LocaleCharsetIsUtf8()
{
    return GetConsoleOutputCP() == CP_UTF8;
}

bool MatchesGlob(const char* pattern, const char* name)
{
    return Matches(reinterpret_cast<const unsigned char*>(pattern), reinterpret_cast<const unsigned char*>(name));
}

std::string BaseName(const std::string& path)
{
    const auto separator = [](char c) { return c == '/' || c == '\\' || c == ':'; };
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
    const auto separator = [](char c) { return c == '/' || c == '\\'; };
    size_t end = path.size();
    while (end > 0 && !separator(path[end - 1]) && path[end - 1] != ':') {
        --end;
    }
    if (end == 0) {
        return ".";
    }
    if (path[end - 1] == ':') {
        return path.substr(0, end);  // "Y:" alone: the drive's current folder
    }
    while (end > 1 && separator(path[end - 1]) && path[end - 2] != ':') {
        --end;  // "Y:\\" keeps its separator: the drive's root
    }
    return path.substr(0, end);
}

}  // namespace platform
