#include "files/fileconvert.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/filestream.h"
#include "platform/replace.h"
#include "platform/walk.h"

namespace {

using platform::FileHandle;

constexpr unsigned char kCtrlZ = 0x1A;
constexpr uint64_t kNone = ~uint64_t{0};

// The file's bytes as read, watched for what decides whether it is this
// program's text: its first Ctrl-Z (the reader ends the text there, and a
// byte after it would be lost in place), its first NUL byte and the
// byte-order mark it begins with (a binary file, UTF-16 or UTF-32 text, which
// a byte-wise conversion would damage). The reader may stop early (at a
// Ctrl-Z, or --check at the first difference); ReadToEnd then reads the rest,
// so that the decision is the whole file's and the same in both modes.
class CWatchedSource : public CByteSource {
public:
    explicit CWatchedSource(FileHandle file) : m_file(file) {}

    long Read(unsigned char* buffer, size_t size) override
    {
        const long got = m_file.Read(buffer, size);
        if (got > 0) {
            Watch(buffer, static_cast<size_t>(got));
        }
        return got;
    }
    int LastError() const override { return m_file.LastError(); }

    // Reads what the reader left; stops early once the file is known not to
    // be text when `stopWhenNotText`. False on a read error.
    bool ReadToEnd(bool stopWhenNotText)
    {
        unsigned char buffer[16 * 1024];
        while (!(stopWhenNotText && NotText() != nullptr)) {
            const long got = Read(buffer, sizeof buffer);
            if (got <= 0) {
                return got == 0;
            }
        }
        return true;
    }

    uint64_t FirstCtrlZ() const { return m_firstCtrlZ; }
    uint64_t BytesRead() const { return m_read; }

    // Why the file is not text to convert byte by byte, or null.
    const char* NotText()
    {
        if (HeadIs("\x00\x00\xFE\xFF", 4) || HeadIs("\xFF\xFE\x00\x00", 4)) {
            return "UTF-32 text: convert it to UTF-8 first";
        }
        if (HeadIs("\xFE\xFF", 2) || HeadIs("\xFF\xFE", 2)) {
            return "UTF-16 text: convert it to UTF-8 first";
        }
        if (m_firstNul != kNone) {
            m_why = "binary file (a NUL byte at offset " + std::to_string(m_firstNul) + ")";
            return m_why.c_str();
        }
        return nullptr;
    }

private:
    void Watch(const unsigned char* buffer, size_t size)
    {
        for (size_t i = 0; m_read + i < sizeof m_head && i < size; ++i) {
            m_head[m_read + i] = buffer[i];
        }
        if (m_firstCtrlZ == kNone) {
            if (const void* found = std::memchr(buffer, kCtrlZ, size)) {
                m_firstCtrlZ = m_read + static_cast<uint64_t>(static_cast<const unsigned char*>(found) - buffer);
            }
        }
        if (m_firstNul == kNone) {
            if (const void* found = std::memchr(buffer, 0, size)) {
                m_firstNul = m_read + static_cast<uint64_t>(static_cast<const unsigned char*>(found) - buffer);
            }
        }
        m_read += size;
    }

    bool HeadIs(const char* mark, size_t length) const
    {
        return m_read >= length && std::memcmp(m_head, mark, length) == 0;
    }

    CFileSource m_file;
    uint64_t m_read = 0;
    uint64_t m_firstCtrlZ = kNone;
    uint64_t m_firstNul = kNone;
    unsigned char m_head[4] = {};
    std::string m_why;
};

// Where the converted text goes: compared with the original's bytes as long
// as they are the same, so that a file the conversion leaves as it is never
// gets a temporary file; at the first difference (with --check: the end) the
// temporary file is made, given the equal part from the original, and
// written from then on. One pass over the file, in constant memory. The
// original is read at offsets of the one descriptor the reader reads, so
// both see the same file.
class CComparingSink : public CByteSink {
public:
    CComparingSink(FileHandle original, std::shared_ptr<const platform::CFolder> folder, std::string name,
                   bool checkOnly, int slot)
        : m_original(original),
          m_folder(std::move(folder)),
          m_name(std::move(name)),
          m_checkOnly(checkOnly),
          m_replacement(slot)
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
            m_differs = platform::ReadAt(m_original, &byte, 1, m_equal, &m_error) != 0;
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
        for (uint64_t offset = m_equal; size > 0;) {
            const size_t want = size < sizeof m_compare ? size : sizeof m_compare;
            size_t got = 0;
            while (got < want) {
                const long read = platform::ReadAt(m_original, m_compare + got, want - got, offset + got, &m_error);
                if (read <= 0) {
                    return false;  // the file is shorter (or unreadable: the reader says so)
                }
                got += static_cast<size_t>(read);
            }
            if (std::memcmp(m_compare, buffer, want) != 0) {
                return false;
            }
            buffer += want;
            size -= want;
            offset += want;
        }
        return true;
    }

    // The temporary file, with the first m_equal bytes of the original: those
    // the texts written before this one matched whole (this one is written
    // whole after them, even where its start matched).
    bool StartReplacement()
    {
        if (!m_replacement.Create(m_folder, m_name, &m_error)) {
            m_step = "creating a temporary file for";
            return false;
        }
        for (uint64_t done = 0; done < m_equal;) {
            const uint64_t left = m_equal - done;
            const size_t want = left < sizeof m_compare ? static_cast<size_t>(left) : sizeof m_compare;
            const long got = platform::ReadAt(m_original, m_compare, want, done, &m_error);
            if (got <= 0) {
                m_cutShort = got == 0;
                m_step = "reading";
                return false;
            }
            if (!platform::WriteAll(m_replacement.Handle(), m_compare, static_cast<size_t>(got), &m_error)) {
                return false;
            }
            done += static_cast<uint64_t>(got);
        }
        return true;
    }

    FileHandle m_original;
    std::shared_ptr<const platform::CFolder> m_folder;
    std::string m_name;
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
    CFileConversion(const FileItem& item, const FilesSettings& settings, int slot, const ConversionHooks* hooks)
        : m_item(item), m_settings(settings), m_slot(slot), m_hooks(hooks)
    {
    }

    ~CFileConversion()
    {
        int ignored = 0;
        if (m_input != platform::kNoFile) {
            platform::Close(m_input, &ignored);
        }
    }

    // One set of policies for both modes: --check stops writing at the first
    // difference but decides as the conversion does, so that it passes
    // exactly when a conversion run would change and refuse nothing.
    FileResult Run()
    {
        if (m_hooks != nullptr && m_hooks->m_beforeOpen) {
            m_hooks->m_beforeOpen(m_item);
        }
        if (const FileResult* notTheFile = Open()) {
            return *notTheFile;
        }
        CWatchedSource source(m_input);
        CTextReader reader(source, CTextReader::kDefaultReadSize, CTextReader::kMaxPiece,
                           m_settings.m_conversion.m_dropCRWhileReading);
        // On the heap: the comparison's buffer is too large for a worker's stack.
        auto sink =
            std::make_unique<CComparingSink>(m_input, m_item.m_folder, m_item.m_base, m_settings.m_check, m_slot);
        if (m_settings.m_conversion.m_lossPage != 0) {
            sink->ReadToEnd();
        }
        COutputBuffer output(*sink);
        LossPlace place;
        const DriveResult result = ConvertText(m_settings.m_conversion, reader, output, &place);
        if (result == DriveResult::ReadFailed) {
            return Failed(Outcome::kUnreadable, "reading", reader.LastError());
        }
        // Whether it is text at all is decided before anything is renamed: a
        // NUL byte met after a difference discards the temporary file.
        if (!source.ReadToEnd(!m_settings.m_binary)) {
            return Failed(Outcome::kUnreadable, "reading", source.LastError());
        }
        const char* notText = m_settings.m_binary ? nullptr : source.NotText();
        if (notText != nullptr) {
            return Skipped(notText);
        }
        if (result == DriveResult::Lost) {
            return Result(Outcome::kNotConverted, "not converted " + Quoted() + ": " + LossText(place));
        }
        if (result == DriveResult::WriteFailed && !sink->Stopped()) {
            return SinkFailed(*sink, output.LastError());
        }
        if (!sink->Stopped() && !sink->Differs()) {
            return Result(Outcome::kDone, "");
        }
        if (const char* refusal = Refusal(source)) {
            return Result(Outcome::kNotConverted, "not converted " + Quoted() + ": " + refusal);
        }
        if (m_settings.m_check) {
            return Result(Outcome::kWouldChange, m_item.m_name);
        }
        if (!sink->Finish()) {
            return SinkFailed(*sink, sink->LastError());
        }
        if (m_hooks != nullptr && m_hooks->m_beforeRename) {
            m_hooks->m_beforeRename(m_item);
        }
        int error = 0;
        if (!Unchanged(&error)) {
            // The temporary file goes with the sink.
            return error == 0 ? Changed() : Failed(Outcome::kFailed, "reading the attributes of", error);
        }
        return Replace(sink->Replacement());
    }

private:
    // Opens the file once, by its name in its folder and never through a
    // link, and holds it to what the walk saw: the same file (device and
    // inode), still a regular file. Its size, links and times are taken now,
    // before the first read. Null when it is the file to convert.
    const FileResult* Open()
    {
        int error = 0;
        m_input = m_item.m_folder->OpenFile(m_item.m_base, &error);
        if (m_input == platform::kNoFile) {
            m_early = error == ELOOP ? Skipped("a symbolic link (--follow-symlinks converts its target)")
                                     : Failed(Outcome::kUnreadable, "reading", error);
            return &m_early;
        }
        if (!platform::LookAtOpen(m_input, &m_opened, &error)) {
            m_early = Failed(Outcome::kUnreadable, "reading", error);
            return &m_early;
        }
        if (m_opened.m_kind != platform::FileKind::kRegular) {
            m_early = Skipped("not a regular file (a FIFO, device or socket)");
        } else if (m_opened.m_device != m_item.m_device || m_opened.m_inode != m_item.m_inode) {
            m_early = Changed();
        } else {
            m_writable = m_item.m_folder->MayWrite(m_item.m_base);
            return nullptr;
        }
        return &m_early;
    }

    // Just before the rename: the name still names the file read, and the
    // file's size, modification and change times are those it had when
    // opened, so that nothing written meanwhile is lost. False with *error
    // 0 when it changed (or the name is gone), else with the error of a look
    // that failed: a failing disk is no change.
    bool Unchanged(int* error) const
    {
        platform::FileFacts named;
        platform::FileFacts now;
        if (!m_item.m_folder->Look(m_item.m_base, &named, error)) {
            *error = *error == ENOENT ? 0 : *error;
            return false;
        }
        if (!platform::LookAtOpen(m_input, &now, error)) {
            return false;
        }
        *error = 0;
        return named.m_kind == platform::FileKind::kRegular && named.m_device == m_opened.m_device &&
               named.m_inode == m_opened.m_inode && now.m_size == m_opened.m_size &&
               now.m_modified == m_opened.m_modified && now.m_changed == m_opened.m_changed;
    }

    // Why a file the conversion would change is not converted, or null. The
    // reader ends the text at the first Ctrl-Z; one at the very end is dropped
    // as glyphmill drops it, but any byte after it would be lost. A file that
    // needs no change is never refused: it is not written.
    const char* Refusal(const CWatchedSource& source) const
    {
        if (!m_settings.m_dropAfterCtrlZ && source.FirstCtrlZ() != kNone &&
            source.FirstCtrlZ() + 1 < source.BytesRead()) {
            return "text after a Ctrl-Z (0x1A) would be lost (--drop-after-ctrl-z drops it)";
        }
        if (m_opened.m_links > 1) {
            m_refusal = "it has " + std::to_string(m_opened.m_links) + " hard links, which a rename would split";
            return m_refusal.c_str();
        }
        if (!m_writable) {
            return "you may not write it";
        }
        return nullptr;
    }

    FileResult Skipped(const char* reason) const
    {
        return Result(Outcome::kSkipped, m_settings.m_quiet ? "" : "skipped " + Quoted() + ": " + reason);
    }

    FileResult Changed() const
    {
        return Result(Outcome::kNotConverted, "not converted " + Quoted() + ": it changed while being converted");
    }

    FileResult Replace(platform::CReplacement& replacement)
    {
        platform::ReplaceOptions options;
        options.m_keepTimes = m_settings.m_keepTimes;
        options.m_sync = m_settings.m_sync;
        options.m_accessed = m_opened.m_accessed;  // before this run read it
        options.m_modified = m_opened.m_modified;
        int error = 0;
        const char* step = "writing";
        const FileHandle input = m_input;
        m_input = platform::kNoFile;
        options.m_allowChown = m_settings.m_allowChown;
        if (!replacement.Commit(input, options, &step, &error)) {
            return CommitFailed(step, error);
        }
        return Result(Outcome::kDone, m_settings.m_verbose ? m_item.m_name : "");
    }

    // A failure that is no error of the system's has its own words: a
    // message never ends in the text of error 0 ("Success").
    FileResult SinkFailed(const CComparingSink& sink, int error) const
    {
        return sink.CutShort() ? Changed() : Failed(Outcome::kFailed, sink.Step(), error);
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
    const ConversionHooks* m_hooks;
    FileHandle m_input = platform::kNoFile;
    platform::FileFacts m_opened;
    bool m_writable = false;
    FileResult m_early;
    mutable std::string m_refusal;
};

}  // namespace

FileResult ConvertFile(const FileItem& item, const FilesSettings& settings, int slot, const ConversionHooks* hooks)
{
    return CFileConversion(item, settings, slot, hooks).Run();
}
