#include "stream/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "convert/simd.h"

namespace {

// How much of a run was converted: all of it, or up to a loss, or the
// output failed.
constexpr uint32_t kWriteFailed = UINT32_MAX;

uint32_t ConvertRun(const Converter& convert, const unsigned char* text, uint32_t length, COutputBuffer& output)
{
    const unsigned char* cursor = text;
    uint32_t remaining = length;
    while (remaining > 0) {
        unsigned char* chunk = output.Reserve(LINE_BUF_SIZE);
        if (chunk == nullptr) {
            return kWriteFailed;
        }
        const uint32_t before = remaining;
        output.Commit(convert(&cursor, chunk, &remaining, LINE_BUF_SIZE));
        if (remaining == before) {
            break;  // only a converter that stops at a loss consumes nothing
        }
    }
    return length - remaining;
}

// The line and the offset in it of the text converted so far: counted only
// where a conversion may stop at a loss.
class CLinePlace {
public:
    void Pass(const unsigned char* text, uint32_t length) { Pass(text, length, m_countLineFeeds(text, length)); }

    // The same, where the LFs of `text` are counted already.
    void Pass(const unsigned char* text, uint32_t length, uint64_t lines)
    {
        if (lines == 0) {
            m_place.m_offset += length;
            return;
        }
        m_place.m_line += lines;
        const unsigned char* last = text + length;
        while (last[-1] != '\n') {
            --last;
        }
        m_place.m_offset = static_cast<uint64_t>(text + length - last);
    }

    LossPlace& Place() { return m_place; }

private:
    decltype(kernels::Table::m_countLineFeeds) m_countLineFeeds = kernels::Chosen().m_countLineFeeds;
    LossPlace m_place;
};

void Describe(const Conversion& conversion, const unsigned char* text, uint32_t length, LossPlace& place)
{
    place.m_length = std::min<uint32_t>(length, sizeof place.m_bytes);
    std::memcpy(place.m_bytes, text, place.m_length);
    place.m_page = conversion.m_lossPage;
    place.m_fromUtf8 = conversion.m_lossFromUtf8;
}

// A run that stops inside a long line keeps back the start of a match that
// may continue in the next run; the reader hands those bytes out again.
uint32_t HeldBack(const Conversion& conversion, const ByteSpan& run, bool endsLine)
{
    if (endsLine || conversion.m_holdback == nullptr) {
        return 0;
    }
    return conversion.m_holdback(run.m_data, run.m_size);
}

bool NeedsConverting(const Conversion& conversion, const CTextReader& reader, const unsigned char* text,
                     uint32_t length)
{
    return static_cast<bool>(conversion.m_convert) && !(conversion.m_dropCRWhileReading && reader.DropsEveryCR()) &&
           (conversion.m_unchanged == nullptr || !conversion.m_unchanged(text, length));
}

// Applies the character-set step to the first `length` bytes of the run, and
// returns how many of them it recoded: fewer than `length` where it stopped
// at a loss, having counted the LFs before it into `lineFeeds`.
uint32_t Recode(const Conversion& conversion, unsigned char* text, uint32_t length, uint64_t* lineFeeds)
{
    if (conversion.m_recodeUntilLoss != nullptr) {
        return conversion.m_recodeUntilLoss(text, length, lineFeeds);
    }
    if (conversion.m_recode != nullptr) {
        conversion.m_recode(text, length);
    }
    return length;
}

// Appends `length` bytes of `text` to the output, through the converter where
// one is needed, and returns how many it converted: all, or up to a loss, or
// kWriteFailed.
uint32_t Convert(const Conversion& conversion, const CTextReader& reader, const unsigned char* text, uint32_t length,
                 COutputBuffer& output)
{
    if (NeedsConverting(conversion, reader, text, length)) {
        return ConvertRun(conversion.m_convert, text, length, output);
    }
    return output.Append(text, length) ? length : kWriteFailed;
}

}  // namespace

DriveResult ConvertText(const Conversion& conversion, CTextReader& reader, COutputBuffer& output, LossPlace* place)
{
    CLinePlace line;
    const bool mayStop = conversion.m_lossPage != 0;
    for (;;) {
        if (reader.NeedsRead() && !output.Flush()) {
            return DriveResult::WriteFailed;
        }
        ByteSpan run;
        bool endsLine = true;
        const ReadStatus status = reader.NextRun(run, endsLine);
        if (status != ReadStatus::Data) {
            if (!output.Flush()) {
                return DriveResult::WriteFailed;
            }
            return status == ReadStatus::End ? DriveResult::Done : DriveResult::ReadFailed;
        }
        const uint32_t kept = HeldBack(conversion, run, endsLine);
        reader.PutBack(kept);
        const uint32_t length = run.m_size - kept;
        uint64_t lineFeeds = 0;
        const uint32_t recoded = Recode(conversion, run.m_data, length, &lineFeeds);
        const uint32_t converted = Convert(conversion, reader, run.m_data, recoded, output);
        if (converted == kWriteFailed) {
            return DriveResult::WriteFailed;
        }
        if (mayStop && conversion.m_recodeUntilLoss != nullptr && converted == recoded) {
            line.Pass(run.m_data, converted, lineFeeds);
        } else if (mayStop) {
            line.Pass(run.m_data, converted);
        }
        if (converted < length) {
            if (place != nullptr) {
                *place = line.Place();
                Describe(conversion, run.m_data + converted, length - converted, *place);
            }
            return output.Flush() ? DriveResult::Lost : DriveResult::WriteFailed;
        }
    }
}

namespace {

// The code point of a valid UTF-8 sequence at the start of `bytes`, or -1.
long DecodeUtf8(const unsigned char* bytes, uint32_t length)
{
    const unsigned char lead = bytes[0];
    const uint32_t follow = lead >= 0xC2 && lead < 0xE0   ? 1
                            : lead >= 0xE0 && lead < 0xF0 ? 2
                            : lead >= 0xF0 && lead < 0xF5 ? 3
                                                          : 0;
    if (follow == 0 || follow >= length) {
        return -1;
    }
    long character = lead & (0x3F >> follow);
    for (uint32_t k = 1; k <= follow; ++k) {
        if ((bytes[k] & 0xC0) != 0x80) {
            return -1;
        }
        character = character << 6 | (bytes[k] & 0x3F);
    }
    const long lowest[] = {0, 0x80, 0x800, 0x10000};
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < lowest[follow] || surrogate || character > 0x10FFFF ? -1 : character;
}

}  // namespace

std::string LossText(const LossPlace& place)
{
    char text[160];
    const int at =
        std::snprintf(text, sizeof text, "line %llu, byte offset %llu: ", static_cast<unsigned long long>(place.m_line),
                      static_cast<unsigned long long>(place.m_offset));
    const long character = place.m_fromUtf8 && place.m_length > 0 ? DecodeUtf8(place.m_bytes, place.m_length) : -1;
    if (place.m_fromUtf8 && character < 0) {
        std::snprintf(text + at, sizeof text - static_cast<size_t>(at), "invalid UTF-8 (byte 0x%02X)",
                      place.m_bytes[0]);
    } else if (place.m_fromUtf8) {
        std::snprintf(text + at, sizeof text - static_cast<size_t>(at),
                      "U+%04lX has no exact counterpart in code page %u", character, place.m_page);
    } else {
        std::snprintf(text + at, sizeof text - static_cast<size_t>(at),
                      "byte 0x%02X has no exact counterpart in code page %u", place.m_bytes[0], place.m_page);
    }
    return text;
}
