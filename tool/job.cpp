#include "tool/job.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "cmdline/messagetext.h"
#include "platform/filestream.h"

namespace {

using platform::FileHandle;

// A file as the user typed it, quoted, or the standard stream it stands for.
// A name is shown escaped, so that a newline or a terminal escape in it can
// neither break the one-line message nor reach the terminal.
std::string Describe(const char* path, const char* standardName)
{
    return path ? "'" + EscapedForMessage(path) + "'" : std::string(standardName);
}

void ReportFailure(const char* action, const std::string& file, int error)
{
    std::fprintf(stderr, "Error %s %s: %s.\n", action, file.c_str(), platform::ErrorText(error));
}

class CJob {
public:
    explicit CJob(const JobSettings& settings)
        : m_settings(settings),
          m_inputName(Describe(settings.m_inputPath, "standard input")),
          m_outputName(Describe(settings.m_outputPath, "standard output"))
    {
    }

    int Run()
    {
        if (!RefuseClosedStandardDescriptors() || !RefuseSameFifo() || !OpenInput()) {
            return kExitFailure;
        }
        // Nothing may be refused once the output is open: opening it empties it.
        if (!RefuseUnreadableInput() || !RefuseSameFile() || !OpenOutput() || !Convert()) {
            // One message per run: the first failure is the one that matters.
            CloseQuietly();
            return kExitFailure;
        }
        return CloseOutput() && CloseInput() ? kExitSuccess : kExitFailure;
    }

private:
    // A standard descriptor the tool was started without fails when it is
    // named as a file just as it does unnamed, never read as empty or written
    // to nowhere through the null device that holds its place.
    bool RefuseClosedStandardDescriptors()
    {
        if (m_settings.m_inputPath != nullptr && platform::NamesClosedStandardDescriptor(m_settings.m_inputPath)) {
            ReportFailure("reading", m_inputName, EBADF);
            return false;
        }
        if (m_settings.m_outputPath != nullptr && platform::NamesClosedStandardDescriptor(m_settings.m_outputPath)) {
            ReportFailure("writing", m_outputName, EBADF);
            return false;
        }
        return true;
    }

    // Opening a FIFO for reading waits for a writer; when the FIFO is also
    // the output, that writer would be this run, so the open would never
    // return. The names are compared first.
    bool RefuseSameFifo()
    {
        if (m_settings.m_inputPath == nullptr ||
            !platform::IsFifoAndOutput(m_settings.m_inputPath, m_settings.m_outputPath)) {
            return true;
        }
        ReportSameFile();
        return false;
    }

    void ReportSameFile()
    {
        std::fprintf(stderr, "Error: %s and %s are the same file.\n", m_inputName.c_str(), m_outputName.c_str());
    }

    bool OpenInput()
    {
        if (m_settings.m_inputPath == nullptr) {
            m_input = platform::StandardInput();
            return true;
        }
        int error = 0;
        m_input = platform::OpenForReading(m_settings.m_inputPath, &error);
        if (m_input == platform::kNoFile) {
            std::fprintf(stderr, "Error opening %s for input.\n", m_inputName.c_str());
            return false;
        }
        return true;
    }

    // An input that opens but can never be read (a directory, a standard
    // input closed or open for writing only) fails with the message its
    // first read would give, before the output is touched.
    bool RefuseUnreadableInput()
    {
        const int error = platform::ReadRefusal(m_input);
        if (error != 0) {
            ReportFailure("reading", m_inputName, error);
        }
        return error == 0;
    }

    // Writing a file while reading it destroys it (or, when appending or with
    // a FIFO, never ends), so the run stops before the output is opened.
    bool RefuseSameFile()
    {
        const bool same = m_settings.m_outputPath != nullptr
                              ? platform::IsSameFile(m_input, m_settings.m_outputPath)
                              : platform::IsSameFile(m_input, platform::StandardOutput());
        if (same) {
            ReportSameFile();
        }
        return !same;
    }

    bool OpenOutput()
    {
        if (m_settings.m_outputPath == nullptr) {
            m_output = platform::StandardOutput();
            if (m_settings.m_binaryStandardOutput) {
                platform::SetBinaryMode(m_output);
            }
            return true;
        }
        int error = 0;
        m_output = platform::OpenForWriting(m_settings.m_outputPath, &error);
        if (m_output == platform::kNoFile) {
            std::fprintf(stderr, "Error opening %s for output.\n", m_outputName.c_str());
            return false;
        }
        return true;
    }

    bool Convert()
    {
        CFileSource source(m_input);
        CFileSink sink(m_output);
        CTextReader reader(source, CTextReader::kDefaultReadSize, CTextReader::kMaxPiece,
                           m_settings.m_conversion.m_dropCRWhileReading);
        COutputBuffer output(sink);
        LossPlace place;
        switch (ConvertText(m_settings.m_conversion, reader, output, &place)) {
        case DriveResult::Done:
            return true;
        case DriveResult::Lost:
            // GLYPHMILL_UNMAPPED=fail: the text before it has been written.
            std::fprintf(stderr, "Error converting %s: %s.\n", m_inputName.c_str(), LossText(place).c_str());
            return false;
        case DriveResult::ReadFailed:
            ReportFailure("reading", m_inputName, reader.LastError());
            return false;
        case DriveResult::WriteFailed:
            ReportFailure("writing", m_outputName, output.LastError());
            return false;
        }
        return false;
    }

    // Standard output is closed too: a full disk or a quota may only show
    // when the last data reaches the file.
    bool CloseOutput()
    {
        int error = 0;
        if (m_output == platform::kNoFile || platform::Close(m_output, &error)) {
            return true;
        }
        ReportFailure("closing", m_outputName, error);
        return false;
    }

    void CloseQuietly()
    {
        int ignored = 0;
        if (m_output != platform::kNoFile) {
            platform::Close(m_output, &ignored);
        }
        if (m_settings.m_inputPath != nullptr) {
            platform::Close(m_input, &ignored);
        }
    }

    bool CloseInput()
    {
        int error = 0;
        if (m_settings.m_inputPath == nullptr || platform::Close(m_input, &error)) {
            return true;
        }
        ReportFailure("closing", m_inputName, error);
        return false;
    }

    const JobSettings& m_settings;
    std::string m_inputName;
    std::string m_outputName;
    FileHandle m_input = platform::kNoFile;
    FileHandle m_output = platform::kNoFile;
};

}  // namespace

int RunJob(const JobSettings& settings)
{
    return CJob(settings).Run();
}
