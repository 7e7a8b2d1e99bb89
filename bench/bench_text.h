#pragma once

#include <cstddef>
#include <random>
#include <string>

// Deterministic inputs for the micro-benchmarks: realistic text and the
// worst cases (nothing to convert, everything to convert, every byte value).
namespace benchtext {

constexpr size_t kSize = 1 << 20;

// English-like words in lines of about 70 bytes; `extra` bytes are mixed in
// at about `percent` percent of the places.
inline std::string Prose(const std::string& extra = "", unsigned percent = 0, const char* lineEnd = "\n")
{
    static const char* const kWords[] = {"the",    "of",      "and",     "to",     "in",     "water",   "people",
                                         "little", "through", "picture", "mother", "answer", "country", "between"};
    std::mt19937 random(2003);
    std::string text;
    size_t lineLength = 0;
    while (text.size() < kSize) {
        std::string word = kWords[random() % (sizeof kWords / sizeof kWords[0])];
        for (char& c : word) {
            if (!extra.empty() && random() % 100 < percent) {
                c = extra[random() % extra.size()];
            }
        }
        text += word;
        lineLength += word.size() + 1;
        if (lineLength > 70) {
            text += lineEnd;
            lineLength = 0;
        } else {
            text += ' ';
        }
    }
    return text;
}

inline std::string Repeat(const std::string& unit)
{
    std::string text;
    while (text.size() < kSize) {
        text += unit;
    }
    return text;
}

// Every byte value but Ctrl-Z, which would end text-mode input.
inline std::string EveryByte()
{
    std::string unit;
    for (int b = 0; b < 256; ++b) {
        unit += static_cast<char>(b == 0x1A ? ' ' : b);
    }
    return Repeat(unit);
}

inline std::string HighLatin1()
{
    std::string bytes;
    for (int b = 0xC0; b < 0x100; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

}  // namespace benchtext
