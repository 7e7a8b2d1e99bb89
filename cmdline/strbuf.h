#pragma once

#include <cstdint>

// The framework's text type: an owned, heap-allocated, NUL-terminated byte
// string. The pointer is never null while the string lives, so GetText() can
// always be handed to C string functions. A null text given to any operation
// counts as the empty text. Allocation failure ends the process (see
// outofmemory.h); the operations themselves check nothing.
class CStrBuf {
public:
    // As `count` for Substring: every byte up to the end.
    static constexpr uint32_t ToEnd = 4294967295u;

    CStrBuf();
    explicit CStrBuf(const char* text);
    CStrBuf(const CStrBuf& other);
    CStrBuf& operator=(const CStrBuf& other);
    ~CStrBuf();

    // Takes a copy of `text`. Assigning the string's own pointer does nothing;
    // a pointer into the middle of the own text is safe as well.
    void Assign(const char* text);

    // Gives the string storage of exactly n + 1 bytes: the first n bytes of
    // `text` (fewer if it is shorter), zeros after them, and a NUL at byte n.
    // The owner may then write up to n bytes through GetBuffer().
    void AssignN(const char* text, uint32_t n);

    // Appends `text`; the string may append (a part of) its own text.
    void Append(const char* text);

    // At most `count` bytes from `start` on; empty when `start` is at or past
    // the end.
    CStrBuf Substring(uint32_t start, uint32_t count) const;

    const char* GetText() const { return m_text; }

    // The storage itself, for filling what AssignN reserved. Writing a NUL
    // shortens the text; writing past the NUL is not allowed.
    char* GetBuffer() { return m_text; }

private:
    char* m_text;
};
