#include "cmdline/messagetext.h"

#include <atomic>

namespace {

std::atomic<bool> g_showUtf8{false};

// The length of the valid UTF-8 sequence at `p` that encodes a character a
// terminal prints (U+00A0 and above), or 0.
std::size_t PrintableUtf8Length(const unsigned char* p)
{
    const unsigned char lead = p[0];
    std::size_t length = 0;
    char32_t character = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        character = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        character = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        character = lead & 0x07u;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {  // a NUL ends the text here too
            return 0;
        }
        character = (character << 6) | (p[i] & 0x3Fu);
    }
    static const char32_t kLeast[] = {0, 0, 0xA0, 0x800, 0x10000};
    const bool valid =
        character >= kLeast[length] && character <= 0x10FFFF && !(character >= 0xD800 && character <= 0xDFFF);
    return valid ? length : 0;
}

}  // namespace

void ShowUtf8InMessages(bool show)
{
    g_showUtf8.store(show, std::memory_order_relaxed);
}

std::string EscapedForMessage(const char* text, std::size_t limit)
{
    static const char kHexDigits[] = "0123456789abcdef";
    const bool showUtf8 = g_showUtf8.load(std::memory_order_relaxed);
    std::string shown;
    std::size_t taken = 0;
    for (const char* p = text; *p != '\0'; ++p, ++taken) {
        if (taken == limit) {
            shown += "...";
            break;
        }
        const unsigned char byte = static_cast<unsigned char>(*p);
        const std::size_t utf8 =
            showUtf8 && byte >= 0x80 ? PrintableUtf8Length(reinterpret_cast<const unsigned char*>(p)) : 0;
        if (utf8 > limit - taken) {
            shown += "...";  // a character is never cut
            break;
        }
        if (utf8 != 0) {
            shown.append(p, utf8);
            p += utf8 - 1;
            taken += utf8 - 1;
        } else if (byte == '\\') {
            shown += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
        } else {
            shown += "\\x";
            shown += kHexDigits[byte >> 4];
            shown += kHexDigits[byte & 0x0F];
        }
    }
    return shown;
}
