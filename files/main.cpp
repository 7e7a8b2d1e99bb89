#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "files/closeout.h"
#include "files/fileconvert.h"
#include "files/filelist.h"
#include "files/filesoptions.h"
#include "platform/conversions.h"
#include "platform/platform.h"
#include "platform/replace.h"
#include "platform/startup.h"

namespace {

// The walk (on a thread of its own) hands files on as it meets them; workers
// take the next one waiting and fill its result; the main thread prints the
// results in the files' order as they become ready, so that two runs print
// the same whatever the number of workers. Files in flight, converted but not
// yet printed or not yet taken, are a window of bounded size: the walk waits
// when it is full, so memory does not grow with the number of files.
class CRun {
public:
    CRun(const FilesSettings& settings, size_t window) : m_settings(settings), m_window(window) {}

    int Run(int workers)
    {
        bool namesRead = true;
        std::thread walk([&] {
            namesRead = CollectFiles(m_settings, [this](FileItem&& item) { Push(std::move(item)); });
            std::lock_guard<std::mutex> lock(m_mutex);
            m_walkDone = true;
            m_changed.notify_all();
        });
        std::vector<std::thread> threads;
        for (int slot = 0; slot < workers; ++slot) {
            threads.emplace_back([this, slot] { Work(slot); });
        }
        int status = kFilesSuccess;
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(
                lock, [&] { return (!m_files.empty() && m_files.front().m_ready) || (m_walkDone && m_files.empty()); });
            if (m_files.empty()) {
                break;
            }
            const FileResult result = std::move(m_files.front().m_item.m_result);
            m_files.pop_front();
            m_next -= m_next > 0 ? 1 : 0;
            m_changed.notify_all();
            lock.unlock();
            status = std::max(status, Report(result));
        }
        walk.join();
        for (std::thread& thread : threads) {
            thread.join();
        }
        return namesRead ? status : std::max(status, kFilesUsage);
    }

private:
    struct Pending {
        FileItem m_item;
        bool m_ready = false;
    };

    void Push(FileItem&& item)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_files.size() < m_window; });
        const bool ready = item.m_result.m_outcome != Outcome::kPending;
        m_files.push_back({std::move(item), ready});
        m_changed.notify_all();
    }

    // The next file to convert, skipping those decided already; null when the
    // walk has ended and none is left. m_next counts from the window's front.
    Pending* Take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            while (m_next < m_files.size() && m_files[m_next].m_ready) {
                ++m_next;
            }
            if (m_next < m_files.size()) {
                return &m_files[m_next++];
            }
            if (m_walkDone) {
                return nullptr;
            }
            m_changed.wait(lock);
        }
    }

    void Work(int slot)
    {
        while (Pending* pending = Take()) {
            // A deque keeps its elements in place as it grows and shrinks at
            // the ends; this one is popped only once it is ready.
            FileResult result = ConvertFile(pending->m_item, m_settings, slot);
            std::lock_guard<std::mutex> lock(m_mutex);
            pending->m_item.m_result = std::move(result);
            pending->m_item.m_folder.reset();
            pending->m_ready = true;
            m_changed.notify_all();
        }
    }

    // The line of one file, and the status it asks for. Names listed on
    // standard output (--check, -v) are shown as in messages, or with
    // --print0 written as they are and ended by NUL, for xargs -0 and
    // --files0-from.
    int Report(const FileResult& result) const
    {
        const bool toOutput = result.m_outcome == Outcome::kWouldChange || result.m_outcome == Outcome::kDone;
        if (!result.m_message.empty()) {
            if (toOutput && m_settings.m_print0) {
                PrintOutputName0(result.m_message);
            } else if (toOutput) {
                PrintOutputLine(Shown(result.m_message));
            } else {
                FlushStandardOutput();
                std::fprintf(stderr, "glyphmill-files: %s.\n", result.m_message.c_str());
            }
        }
        switch (result.m_outcome) {
        case Outcome::kWouldChange:
        case Outcome::kNotConverted:
            return kFilesFailure;
        case Outcome::kFailed:
        case Outcome::kUnreadable:
            return m_settings.m_check ? kFilesUsage : kFilesFailure;
        default:
            return kFilesSuccess;
        }
    }

    const FilesSettings& m_settings;
    const size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Pending> m_files;  // from the next to print on
    size_t m_next = 0;            // the first of m_files no worker has taken
    bool m_walkDone = false;
};

int WorkerCount(const FilesSettings& settings)
{
    int workers = settings.m_workers;
    if (workers == 0) {
        workers = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 256);
    }
    return workers;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::ReserveStandardDescriptors();
    platform::UseUtf8CommandLine(&argc, &argv);
    CheckStandardOutputAtExit(kFilesFailure);
    FilesSettings settings;
    switch (ParseFilesCommandLine(argc, argv, &settings)) {
    case ParseOutcome::kHelp:
        PrintFilesHelp();
        return kFilesSuccess;
    case ParseOutcome::kVersion:
        std::printf("glyphmill-files %s\n", GLYPHMILL_VERSION);
        return kFilesSuccess;
    case ParseOutcome::kUsageError:
        return kFilesUsage;
    case ParseOutcome::kRun:
        break;
    }
    CheckStandardOutputAtExit(settings.m_check ? kFilesUsage : kFilesFailure);
    // As glyphmill reads them, before any worker starts: the workers share
    // no mutable state.
    if (!platform::ApplyEnvironment("glyphmill-files")) {
        return kFilesUsage;
    }
    // Chosen again now that the pages are known: -a with an OEM page and
    // UTF-8 converts by that page's converters.
    conversions::Select(settings.m_letter, settings.m_on, &settings.m_conversion);
    const int workers = WorkerCount(settings);
    platform::InstallInterruptCleanup(workers);
    // Enough files in flight to keep every worker busy while the oldest is
    // printed; each holds its name and its folder open.
    const size_t window = 64 + 16 * static_cast<size_t>(workers);
    const int status = CRun(settings, window).Run(workers);
    platform::FinishInterruptCleanup();
    return status;
}
