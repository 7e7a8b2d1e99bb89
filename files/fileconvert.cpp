#include "files/fileconvert.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/filestream.h"
#include "platform/replace.h"

namespace {

using platform::FileHandle;

constexpr unsigned char kCtrlZ = 0x1A;
constexpr uint64_t kNoCtrlZ = ~uint64_t{0};

// The file's bytes as read, with where its first Ctrl-Z is: the reader ends
// the text there, and a byte after it would be lost in place.
class CWatchedSource : public CByteSource {
public:
    explicit CWatchedSource(FileHandle file) : m_file(file) {}

    long Read(unsigned char* buffer, size_t size) override
    {
        const long got = m_file.Read(buffer, size);
        if (got > 0 && m_firstCtrlZ == kNoCtrlZ) {
            if (const void* found = std::memchr(buffer, kCtrlZ, static_cast<size_t>(got))) {
                m_firstCtrlZ = m_read + static_cast<uint64_t>(static_cast<const unsigned char*>(found) - buffer);
            }
        }
        m_read += got > 0 ? static_cast<uint64_t>(got) : 0;
        return got;
    }
    int LastError() const override { return m_file.LastError(); }

    uint64_t FirstCtrlZ() const { return m_firstCtrlZ; }

private:
    CFileSource m_file;
    uint64_t m_read = 0;
    uint64_t m_firstCtrlZ = kNoCtrlZ;
};

// Where the converted text goes: compared with the original's bytes as long
// as they are the same, so that a file the conversion leaves as it is never
// gets a temporary file; at the first difference (with --check: the end) the
// temporary file is made, given the equal part from the original, and
// written from then on. One pass over the file, in constant memory.
class CComparingSink : public CByteSink {
public:
    CComparingSink(FileHandle original, const std::string& path, bool checkOnly, int slot)
        : m_original(original), m_path(path), m_checkOnly(checkOnly), m_replacement(slot)
    {
    }

    bool Write(const unsigned char* buffer, size_t size) override
    {
        if (!m_differs && Matches(buffer, size)) {
            m_equal += size;
            return true;
        }
        m_differs = true;
        if (m_checkOnly) {
            // The answer is known: stop reading, unless the text may yet
            // stop at a loss, which --check reports as the conversion does.
            return m_readToEnd;
        }
        return (m_replacement.Handle() != platform::kNoFile || StartReplacement()) &&
               platform::WriteAll(m_replacement.Handle(), buffer, size, &m_error);
    }
    int LastError() const override { return m_error; }

    // After the whole text: whether it differs from the file (a shorter text
    // does), and the replacement then holds all of it.
    bool Differs()
    {
        if (!m_differs) {
            unsigned char byte = 0;
            m_differs = platform::ReadSome(m_original, &byte, 1, &m_error) != 0;
        }
        return m_differs;
    }
    bool Finish() { return m_checkOnly || m_replacement.Handle() != platform::kNoFile || StartReplacement(); }

    bool Stopped() const { return m_checkOnly && m_differs; }
    // The copy of the equal start found the file shorter than the text that
    // matched it: it changed while being converted.
    bool CutShort() const { return m_cutShort; }
    void ReadToEnd() { m_readToEnd = true; }
    // The step that failed: writing, or making the temporary file.
    const char* Step() const { return m_step; }
    platform::CReplacement& Replacement() { return m_replacement; }

private:
    bool Matches(const unsigned char* buffer, size_t size)
    {
        while (size > 0) {
            const size_t want = size < sizeof m_compare ? size : sizeof m_compare;
            size_t got = 0;
            while (got < want) {
                const long read = platform::ReadSome(m_original, m_compare + got, want - got, &m_error);
                if (read <= 0) {
                    return false;  // the file is shorter (or unreadable: the rewrite reads it again)
                }
                got += static_cast<size_t>(read);
            }
            if (std::memcmp(m_compare, buffer, want) != 0) {
                return false;
            }
            buffer += want;
            size -= want;
        }
        return true;
    }

    // The temporary file, with the first m_equal bytes of the original: those
    // the texts written before this one matched whole (this one is written
    // whole after them, even where its start matched).
    bool StartReplacement()
    {
        if (!m_replacement.Create(m_path, &m_error)) {
            m_step = "creating a temporary file for";
            return false;
        }
        if (m_equal == 0) {
            return true;
        }
        int error = 0;
        const FileHandle again = platform::OpenForReading(m_path.c_str(), &error);
        if (again == platform::kNoFile) {
            m_step = "reading";
            m_error = error;
            return false;
        }
        bool copied = true;
        for (uint64_t left = m_equal; left > 0 && copied;) {
            const size_t want = left < sizeof m_compare ? static_cast<size_t>(left) : sizeof m_compare;
            const long got = platform::ReadSome(again, m_compare, want, &m_error);
            m_cutShort = got == 0;
            copied =
                got > 0 && platform::WriteAll(m_replacement.Handle(), m_compare, static_cast<size_t>(got), &m_error);
            left -= got > 0 ? static_cast<uint64_t>(got) : 0;
        }
        platform::Close(again, &error);
        return copied;
    }

    FileHandle m_original;
    const std::string& m_path;
    bool m_checkOnly;
    bool m_readToEnd = false;
    platform::CReplacement m_replacement;
    bool m_differs = false;
    bool m_cutShort = false;
    uint64_t m_equal = 0;
    int m_error = 0;
    const char* m_step = "writing";
    unsigned char m_compare[64 * 1024];
};

class CFileConversion {
public:
    CFileConversion(const FileItem& item, const FilesSettings& settings, int slot)
        : m_item(item), m_settings(settings), m_slot(slot)
    {
    }

    ~CFileConversion()
    {
        int ignored = 0;
        if (m_input != platform::kNoFile) {
            platform::Close(m_input, &ignored);
        }
        if (m_compared != platform::kNoFile) {
            platform::Close(m_compared, &ignored);
        }
    }

    FileResult Run()
    {
        int error = 0;
        m_input = platform::OpenForReading(m_item.m_path.c_str(), &error);
        m_compared =
            m_input == platform::kNoFile ? platform::kNoFile : platform::OpenForReading(m_item.m_path.c_str(), &error);
        if (m_compared == platform::kNoFile) {
            return Failed(Outcome::kUnreadable, "reading", error);
        }
        CWatchedSource source(m_input);
        CTextReader reader(source, CTextReader::kDefaultReadSize, CTextReader::kMaxPiece,
                           m_settings.m_conversion.m_dropCRWhileReading);
        // On the heap: the comparison's buffer is too large for a worker's stack.
        auto sink = std::make_unique<CComparingSink>(m_compared, m_item.m_path, m_settings.m_check, m_slot);
        if (m_settings.m_conversion.m_lossPage != 0) {
            sink->ReadToEnd();
        }
        COutputBuffer output(*sink);
        LossPlace place;
        const DriveResult result = ConvertText(m_settings.m_conversion, reader, output, &place);
        if (result == DriveResult::Lost) {
            return Result(Outcome::kNotConverted, "not converted " + Quoted() + ": " + LossText(place));
        }
        if (result == DriveResult::ReadFailed) {
            return Failed(Outcome::kUnreadable, "reading", reader.LastError());
        }
        if (result == DriveResult::WriteFailed && !sink->Stopped()) {
            return SinkFailed(*sink, output.LastError());
        }
        if (m_settings.m_check) {
            return sink->Stopped() || sink->Differs() ? Result(Outcome::kWouldChange, Shown(m_item.m_name))
                                                      : Result(Outcome::kDone, "");
        }
        if (LosesTextAfterCtrlZ(source)) {
            return Result(Outcome::kNotConverted,
                          "not converted " + Quoted() +
                              ": text after a Ctrl-Z (0x1A) would be lost (--drop-after-ctrl-z drops it)");
        }
        if (!sink->Differs()) {
            return Result(Outcome::kDone, "");
        }
        if (!sink->Finish()) {
            return SinkFailed(*sink, sink->LastError());
        }
        return Replace(sink->Replacement());
    }

private:
    // The reader ends the text at the first Ctrl-Z; one at the very end is
    // dropped as glyphmill drops it, but any byte after it would be lost.
    bool LosesTextAfterCtrlZ(const CWatchedSource& source) const
    {
        return !m_settings.m_dropAfterCtrlZ && source.FirstCtrlZ() != kNoCtrlZ &&
               source.FirstCtrlZ() + 1 < m_item.m_size;
    }

    FileResult Replace(platform::CReplacement& replacement)
    {
        platform::ReplaceOptions options;
        options.m_keepTimes = m_settings.m_keepTimes;
        options.m_sync = m_settings.m_sync;
        int error = 0;
        platform::Close(m_compared, &error);
        m_compared = platform::kNoFile;
        const char* step = "writing";
        const FileHandle input = m_input;
        m_input = platform::kNoFile;
        options.m_allowChown = m_settings.m_allowChown;
        if (!replacement.Commit(input, options, &step, &error)) {
            return CommitFailed(step, error);
        }
        return Result(Outcome::kDone, m_settings.m_verbose ? Shown(m_item.m_name) : "");
    }

    // A failure that is no error of the system's has its own words: a
    // message never ends in the text of error 0 ("Success").
    FileResult SinkFailed(const CComparingSink& sink, int error) const
    {
        if (sink.CutShort()) {
            return Result(Outcome::kNotConverted, "not converted " + Quoted() + ": it changed while being converted");
        }
        return Failed(Outcome::kFailed, sink.Step(), error);
    }

    // An owner or group the user may not give is a policy, not an error.
    FileResult CommitFailed(const char* step, int error) const
    {
        if (std::strcmp(step, platform::kKeepingOwnerStep) == 0 && (error == EPERM || error == EINVAL)) {
            return Result(Outcome::kNotConverted,
                          "not converted " + Quoted() + ": its owner and group cannot be kept (" +
                              platform::ErrorText(error) + "); --allow-chown converts it as yours");
        }
        return Failed(Outcome::kFailed, step, error);
    }

    std::string Quoted() const { return "'" + Shown(m_item.m_name) + "'"; }

    FileResult Failed(Outcome outcome, const char* step, int error) const
    {
        return Result(outcome, std::string("error ") + step + " " + Quoted() + ": " + platform::ErrorText(error));
    }

    static FileResult Result(Outcome outcome, std::string message)
    {
        FileResult result;
        result.m_outcome = outcome;
        result.m_message = std::move(message);
        return result;
    }

    const FileItem& m_item;
    const FilesSettings& m_settings;
    int m_slot;
    FileHandle m_input = platform::kNoFile;
    FileHandle m_compared = platform::kNoFile;
};

}  // namespace

FileResult ConvertFile(const FileItem& item, const FilesSettings& settings, int slot)
{
    return CFileConversion(item, settings, slot).Run();
}
