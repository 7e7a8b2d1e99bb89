#include "cmdline/messagetext.h"

std::string EscapedForMessage(const char* text, std::size_t limit)
{
    static const char kHexDigits[] = "0123456789abcdef";
    std::string shown;
    std::size_t taken = 0;
    for (const char* p = text; *p != '\0'; ++p, ++taken) {
        if (taken == limit) {
            shown += "...";
            break;
        }
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte == '\\') {
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
