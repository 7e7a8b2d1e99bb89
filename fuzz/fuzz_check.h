#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property that every input must keep. A violation prints what failed and
// aborts, which libFuzzer saves as a crash and the replay runner reports as
// a failed test.
#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (false)

// Choices derived from the first bytes of an input (sizes, seams, options),
// so that the fuzzer can steer them; the rest of the input is the text.
class CFuzzChoices {
public:
    static constexpr size_t kSeedBytes = 8;

    CFuzzChoices(const uint8_t* data, size_t size)
    {
        const size_t used = size < kSeedBytes ? size : kSeedBytes;
        for (size_t i = 0; i < used; ++i) {
            m_state = (m_state << 8) | data[i];
        }
        m_text = data + used;
        m_textSize = size - used;
    }

    const uint8_t* Text() const { return m_text; }
    size_t TextSize() const { return m_textSize; }

    // A number in [low, high], from a splitmix64 sequence.
    uint32_t Between(uint32_t low, uint32_t high)
    {
        m_state += 0x9E3779B97F4A7C15ULL;
        uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return low + static_cast<uint32_t>(z % (uint64_t{high} - low + 1));
    }

private:
    uint64_t m_state = 0;
    const uint8_t* m_text = nullptr;
    size_t m_textSize = 0;
};
