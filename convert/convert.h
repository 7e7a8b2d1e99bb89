#pragma once

#include <cstddef>
#include <cstdint>

// The output chunk every converter call may fill. Text reaches the converters
// the way a line reader with a buffer of this size would see it: a line
// longer than LINE_BUF_SIZE - 1 bytes arrives in pieces of that size, and a
// match cut by such a split is held back and decoded whole.
constexpr uint32_t LINE_BUF_SIZE = 16384;

// Entity and URI converters stop once their output reaches capacity minus this
// headroom: one step stores at most 8 bytes (an entity text copied whole; the
// kernels check every table against it), so a step started below the limit
// always fits.
constexpr uint32_t CONVERT_HEADROOM = 10;

// A decoder's holdback (EntityDecodeHoldback, UriDecodeHoldback) keeps at most
// this many bytes of a piece for the next one: the longest match but its last
// byte. The reader's pieces are longer, so that a piece always makes progress.
constexpr uint32_t CONVERT_MAX_HOLDBACK = 7;

// The contract every converter follows. A call reads at most *remaining bytes
// from *cursor, writes at most `capacity` bytes to `output` and returns how many
// it wrote. It advances *cursor and decreases *remaining in step, by the bytes
// it consumed. The output never overlaps the input: the kernels read ahead of
// what they consume and store whole blocks past what they write. A step (an
// entity text, a percent escape) is never divided between calls, and a call
// given a free buffer of LINE_BUF_SIZE bytes and a non-zero count always
// consumes at least one byte. Converters keep no state: the cursor and the
// count carry all progress, so chunking never changes the output.
using ConvertFn = uint32_t (*)(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                               uint32_t capacity);

// The same contract for a converter that reads its data from `context` (a
// code page's tables): one function serves every page, and the page is a
// value rather than a function of its own.
using ContextConvertFn = uint32_t (*)(const void* context, const unsigned char** cursor, unsigned char* output,
                                      uint32_t* remaining, uint32_t capacity);

// A converter and the data it reads: a ConvertFn (which needs none), or a
// ContextConvertFn with its context, which the caller keeps alive; or none.
struct Converter {
    ConvertFn m_plain = nullptr;
    ContextConvertFn m_withContext = nullptr;
    const void* m_context = nullptr;

    constexpr Converter() = default;
    constexpr Converter(std::nullptr_t) {}
    constexpr Converter(ConvertFn plain) : m_plain(plain) {}
    constexpr Converter(ContextConvertFn withContext, const void* context)
        : m_withContext(withContext), m_context(context)
    {
    }

    explicit operator bool() const { return m_plain != nullptr || m_withContext != nullptr; }

    uint32_t operator()(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                        uint32_t capacity) const
    {
        return m_withContext != nullptr ? m_withContext(m_context, cursor, output, remaining, capacity)
                                        : m_plain(cursor, output, remaining, capacity);
    }
};

inline bool operator==(const Converter& a, const Converter& b)
{
    return a.m_plain == b.m_plain && a.m_withContext == b.m_withContext && a.m_context == b.m_context;
}

inline bool operator!=(const Converter& a, const Converter& b)
{
    return !(a == b);
}
