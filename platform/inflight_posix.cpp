#include "platform/inflight_posix.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

#include "platform/replace.h"

namespace platform {

struct InFlightSlot {
    std::mutex m_lock;
    int m_folder = -1;
    std::string m_name;  // empty: no temporary file in flight
};

namespace {

// Made once, before any worker starts, and never freed: the cleanup may
// still hold their locks while the process ends.
InFlightSlot* g_slots = nullptr;
int g_slotCount = 0;
sigset_t g_waited;  // the ending signals that were not ignored at start
pthread_t g_waiter;
pthread_t g_reporter;  // the thread that installed the cleanup and writes standard output
std::atomic<bool> g_signalTaken{false};

// Ends the process as `signal` does, so the caller sees how the run ended.
[[noreturn]] void EndBy(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

extern "C" void* RemoveTemporariesOnSignal(void*)
{
    int signal = 0;
    while (sigwait(&g_waited, &signal) != 0) {
    }
    g_signalTaken.store(true);
    for (int slot = 0; slot < g_slotCount; ++slot) {
        g_slots[slot].m_lock.lock();  // kept: this slot creates nothing more
        if (!g_slots[slot].m_name.empty()) {
            unlinkat(g_slots[slot].m_folder, g_slots[slot].m_name.c_str(), 0);
        }
    }
    EndBy(signal);
}

// SIGPIPE comes to the thread whose write met a closed pipe (standard output:
// `glyphmill-files -v ... | head`), where a blocked one would only be left
// pending, so it is caught and handed on to the cleanup. The writing thread
// waits for the end rather than go on past its failed write.
extern "C" void HandOnBrokenPipe(int)
{
    pthread_kill(g_waiter, SIGPIPE);
    if (pthread_equal(pthread_self(), g_reporter) != 0) {
        for (;;) {
            pause();
        }
    }
}

bool IgnoredAtStart(int signal)
{
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

CInFlight::CInFlight(int slot) : m_slot(slot >= 0 && slot < g_slotCount ? &g_slots[slot] : nullptr)
{
    if (m_slot != nullptr) {
        m_slot->m_lock.lock();
    }
}

CInFlight::~CInFlight()
{
    if (m_slot != nullptr) {
        m_slot->m_lock.unlock();
    }
}

void CInFlight::Hold(int folder, const std::string& name)
{
    if (m_slot != nullptr) {
        m_slot->m_folder = folder;
        m_slot->m_name = name;
    }
}

void CInFlight::Release()
{
    if (m_slot != nullptr) {
        m_slot->m_name.clear();
    }
}

void InstallInterruptCleanup(int slots)
{
    // A file that outgrows the size limit (`ulimit -f`) fails alone, with
    // EFBIG, instead of ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
    g_slots = new InFlightSlot[static_cast<size_t>(slots)];
    g_slotCount = slots;
    g_reporter = pthread_self();
    // A signal ignored at start (`nohup`, a background job of a shell)
    // stays ignored. The others are blocked here, before any worker starts,
    // so every thread made from now on inherits the block and only the
    // waiter takes them.
    sigemptyset(&g_waited);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        if (!IgnoredAtStart(signal)) {
            sigaddset(&g_waited, signal);
        }
    }
    sigset_t blocked = g_waited;
    sigdelset(&blocked, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &all, &previous);  // the waiter starts with every signal blocked
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    const bool started = pthread_create(&g_waiter, &attributes, RemoveTemporariesOnSignal, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!started) {
        pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);  // no cleanup: the signals end the run as they would
        g_slotCount = 0;
        return;
    }
    if (sigismember(&g_waited, SIGPIPE) == 1) {
        struct sigaction action {};
        action.sa_handler = HandOnBrokenPipe;
        sigemptyset(&action.sa_mask);
        sigaction(SIGPIPE, &action, nullptr);
    }
}

void FinishInterruptCleanup()
{
    if (g_slotCount == 0) {
        return;
    }
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    bool came = g_signalTaken.load();
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        came = came || (sigismember(&g_waited, signal) == 1 && sigismember(&pending, signal) == 1);
    }
    // The waiter takes it, if it has not yet, and ends the process.
    while (came) {
        pause();
    }
}

}  // namespace platform
