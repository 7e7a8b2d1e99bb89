#include "cmdline/strbuf.h"

#include <cstddef>
#include <cstring>

#include "cmdline/outofmemory.h"

namespace {

const char kEmpty[] = "";

// Bytes of `text` before its NUL, but never more than `limit`: AssignN must not
// read past the end of a text shorter than n.
std::size_t BoundedLength(const char* text, std::size_t limit)
{
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    return length;
}

}  // namespace

CStrBuf::CStrBuf() : m_text(nullptr)
{
    InstallOutOfMemoryHandler();
    Assign(kEmpty);
}

CStrBuf::CStrBuf(const char* text) : m_text(nullptr)
{
    InstallOutOfMemoryHandler();
    Assign(text);
}

CStrBuf::CStrBuf(const CStrBuf& other) : m_text(nullptr)
{
    InstallOutOfMemoryHandler();
    Assign(other.m_text);
}

CStrBuf& CStrBuf::operator=(const CStrBuf& other)
{
    Assign(other.m_text);
    return *this;
}

CStrBuf::~CStrBuf()
{
    delete[] m_text;
}

void CStrBuf::Assign(const char* text)
{
    // m_text is null only while a constructor runs, and a null text must
    // still become the empty text then.
    if (text != nullptr && text == m_text) {
        return;
    }
    const char* source = text != nullptr ? text : kEmpty;
    const std::size_t length = std::strlen(source);
    char* copy = new char[length + 1];
    std::memcpy(copy, source, length + 1);
    // Freed only after the copy: `text` may point into the old storage.
    delete[] m_text;
    m_text = copy;
}

void CStrBuf::AssignN(const char* text, uint32_t n)
{
    const std::size_t size = static_cast<size_t>(n) + 1;
    char* storage = new char[size];
    const std::size_t copied = text != nullptr ? BoundedLength(text, n) : 0;
    if (copied != 0) {
        std::memcpy(storage, text, copied);
    }
    std::memset(storage + copied, 0, size - copied);
    delete[] m_text;
    m_text = storage;
}

void CStrBuf::Append(const char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    const std::size_t oldLength = std::strlen(m_text);
    const std::size_t addLength = std::strlen(text);
    char* joined = new char[oldLength + addLength + 1];
    std::memcpy(joined, m_text, oldLength);
    std::memcpy(joined + oldLength, text, addLength + 1);
    delete[] m_text;
    m_text = joined;
}

CStrBuf CStrBuf::Substring(uint32_t start, uint32_t count) const
{
    CStrBuf part;
    const std::size_t length = std::strlen(m_text);
    if (start >= length || count == 0) {
        return part;
    }
    const std::size_t available = length - start;
    const std::size_t taken = count < available ? count : available;
    part.AssignN(m_text + start, static_cast<uint32_t>(taken));
    return part;
}
