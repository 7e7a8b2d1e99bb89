#pragma once

// Case-insensitive comparison of argument names and allowed values. Only the
// letters A to Z fold onto a to z; every other byte, 0x80 to 0xFF included,
// must match exactly. These are byte rules on purpose: the result must not
// depend on the host's locale or code page.

inline unsigned char FoldAsciiCase(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// When `text` begins with `prefix` (folded), returns the rest of `text` after
// it; otherwise null. Stops at the first difference, so it never reads past
// the NUL of either text.
inline const char* SkipFoldedPrefix(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++prefix, ++text) {
        if (FoldAsciiCase(static_cast<unsigned char>(*text)) != FoldAsciiCase(static_cast<unsigned char>(*prefix))) {
            return nullptr;
        }
    }
    return text;
}

inline bool EqualsFolded(const char* left, const char* right)
{
    const char* rest = SkipFoldedPrefix(left, right);
    return rest != nullptr && *rest == '\0';
}
