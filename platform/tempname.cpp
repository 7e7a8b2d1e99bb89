#include "platform/tempname.h"

#include <cstring>

namespace platform {

namespace {

constexpr char kMark[] = ".glyphmill-";
constexpr size_t kMarkLength = sizeof kMark - 1;
constexpr size_t kUniqueLength = 6;
constexpr size_t kNameMax = 255;
constexpr char kOldPrefix[] = ".glyphmill-files.";

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr unsigned kAlphabetSize = sizeof kAlphabet - 1;

bool IsUniqueCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The longest start of `base` of at most `limit` bytes that does not end
// inside a UTF-8 sequence (a continuation byte is never the first one kept out).
size_t CutAtCharacter(const std::string& base, size_t limit)
{
    if (base.size() <= limit) {
        return base.size();
    }
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

}  // namespace

std::string TemporaryNameFor(const std::string& base, unsigned long long unique)
{
    const size_t room = kNameMax - 1 - kMarkLength - kUniqueLength;
    std::string name = ".";
    name.append(base, 0, CutAtCharacter(base, room));
    name += kMark;
    for (size_t i = 0; i < kUniqueLength; ++i) {
        name += kAlphabet[unique % kAlphabetSize];
        unique /= kAlphabetSize;
    }
    return name;
}

bool IsTemporaryName(const char* base)
{
    const size_t length = std::strlen(base);
    if (std::strncmp(base, kOldPrefix, sizeof kOldPrefix - 1) == 0) {
        return true;
    }
    if (base[0] != '.' || length < 1 + 1 + kMarkLength + kUniqueLength) {
        return false;
    }
    const char* tail = base + length - kUniqueLength;
    for (size_t i = 0; i < kUniqueLength; ++i) {
        if (!IsUniqueCharacter(tail[i])) {
            return false;
        }
    }
    return std::memcmp(tail - kMarkLength, kMark, kMarkLength) == 0;
}

}  // namespace platform
