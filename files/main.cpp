#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "cmdline/messagetext.h"
#include "convert/codepages.h"
#include "convert/simd.h"
#include "files/fileconvert.h"
#include "files/filelist.h"
#include "files/filesoptions.h"
#include "platform/conversions.h"
#include "platform/names.h"
#include "platform/platform.h"
#include "platform/replace.h"

namespace {

// GLYPHMILL_SIMD and GLYPHMILL_CODEPAGES as glyphmill reads them, so that a
// file converts here exactly as it does there. Both are applied before any
// worker starts: the workers share no mutable state.
bool ApplyEnvironment()
{
    if (const char* name = std::getenv("GLYPHMILL_SIMD")) {
        simd::Level level = simd::Level::kPortable;
        if (!simd::ParseLevel(name, &level)) {
            std::fprintf(stderr, "glyphmill-files: GLYPHMILL_SIMD names no level of this build.\n");
            return false;
        }
        simd::UseLevel(level);
    }
    if (const char* text = std::getenv("GLYPHMILL_CODEPAGES")) {
        codepages::Pair pair;
        if (!codepages::ParsePair(text, &pair, platform::LocaleOemPage())) {
            std::fprintf(stderr, "glyphmill-files: GLYPHMILL_CODEPAGES must be %s.\n", codepages::kAcceptedPairs);
            return false;
        }
        platform::UseCodePages(pair);
    }
    // The level detected and the locale's code pages looked up now, once.
    simd::UseLevel(simd::ChosenLevel());
    unsigned char none = 0;
    platform::OemToAnsi(&none, 0);
    return true;
}

// Workers take the next file and fill its result; the main thread prints the
// results in the files' order as they become ready, so that two runs print
// the same whatever the number of workers.
class CRun {
public:
    CRun(const FilesSettings& settings, std::vector<FileItem>& items) : m_settings(settings), m_items(items) {}

    int Run(int workers)
    {
        std::vector<std::thread> threads;
        for (int slot = 0; slot < workers; ++slot) {
            threads.emplace_back([this, slot] { Work(slot); });
        }
        int status = kFilesSuccess;
        for (size_t index = 0; index < m_items.size(); ++index) {
            status = std::max(status, Report(WaitFor(index)));
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return status;
    }

private:
    void Work(int slot)
    {
        for (size_t index = m_next++; index < m_items.size(); index = m_next++) {
            FileItem& item = m_items[index];
            if (item.m_result.m_outcome != Outcome::kPending) {
                continue;
            }
            FileResult result = ConvertFile(item, m_settings, slot);
            std::lock_guard<std::mutex> lock(m_mutex);
            item.m_result = std::move(result);
            m_ready.notify_one();
        }
    }

    const FileResult& WaitFor(size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return m_items[index].m_result.m_outcome != Outcome::kPending; });
        return m_items[index].m_result;
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
                std::fwrite(result.m_message.c_str(), 1, result.m_message.size() + 1, stdout);
            } else if (toOutput) {
                std::printf("%s\n", Shown(result.m_message).c_str());
            } else {
                std::fflush(stdout);
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
    std::vector<FileItem>& m_items;
    std::atomic<size_t> m_next{0};
    std::mutex m_mutex;
    std::condition_variable m_ready;
};

int WorkerCount(const FilesSettings& settings, size_t files)
{
    int workers = settings.m_workers;
    if (workers == 0) {
        workers = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 256);
    }
    return std::max(1, std::min(workers, static_cast<int>(std::min<size_t>(files, 256))));
}

}  // namespace

int main(int argc, char** argv)
{
    platform::ReserveStandardDescriptors();
    ShowUtf8InMessages(platform::LocaleCharsetIsUtf8());
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
    if (!ApplyEnvironment()) {
        return kFilesUsage;
    }
    // Chosen again now that the pages are known: -a with an OEM page and
    // UTF-8 converts by that page's converters.
    conversions::Select(settings.m_letter, settings.m_on, &settings.m_conversion);
    std::vector<FileItem> items;
    if (!CollectFiles(settings, &items)) {
        return kFilesUsage;
    }
    const int workers = WorkerCount(settings, items.size());
    platform::InstallInterruptCleanup(workers);
    return CRun(settings, items).Run(workers);
}
