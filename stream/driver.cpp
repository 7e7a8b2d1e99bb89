#include "stream/driver.h"

namespace {

bool ConvertRun(ConvertFn convert, const unsigned char* text, uint32_t length, COutputBuffer& output)
{
    const unsigned char* cursor = text;
    uint32_t remaining = length;
    while (remaining > 0) {
        unsigned char* chunk = output.Reserve(LINE_BUF_SIZE);
        if (chunk == nullptr) {
            return false;
        }
        output.Commit(convert(&cursor, chunk, &remaining, LINE_BUF_SIZE));
    }
    return true;
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
    return conversion.m_convert != nullptr && !(conversion.m_dropCRWhileReading && reader.DropsEveryCR()) &&
           (conversion.m_unchanged == nullptr || !conversion.m_unchanged(text, length));
}

}  // namespace

DriveResult ConvertText(const Conversion& conversion, CTextReader& reader, COutputBuffer& output)
{
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
        if (conversion.m_recode != nullptr) {
            conversion.m_recode(run.m_data, length);
        }
        const bool written = NeedsConverting(conversion, reader, run.m_data, length)
                                 ? ConvertRun(conversion.m_convert, run.m_data, length, output)
                                 : output.Append(run.m_data, length);
        if (!written) {
            return DriveResult::WriteFailed;
        }
    }
}
