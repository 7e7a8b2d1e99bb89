#pragma once

// A buffer whose last byte sits just before a page the process may not touch,
// where the host has mmap, so that a kernel reading one byte past the end
// faults at once instead of reading a neighbour's byte. The fault is reported
// as such before the process ends. Elsewhere the buffer is plain memory, and
// only AddressSanitizer would see the read.

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#if __has_include(<sys/mman.h>) && __has_include(<unistd.h>)
#include <sys/mman.h>
#include <unistd.h>
#define GLYPHMILL_TEST_GUARD_PAGE 1
#endif

class CGuardedBuffer {
public:
    explicit CGuardedBuffer(size_t size)
    {
#if defined(GLYPHMILL_TEST_GUARD_PAGE)
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        m_mapped = (size + page - 1) / page * page + page;
        void* map = mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            std::abort();
        }
        m_map = static_cast<unsigned char*>(map);
        mprotect(m_map + m_mapped - page, page, PROT_NONE);
        m_end = m_map + m_mapped - page;
        m_size = m_mapped - page;
        struct sigaction report = {};
        report.sa_handler = ReportFault;
        sigaction(SIGSEGV, &report, &m_saved);
#else
        m_plain.resize(size);
        m_end = m_plain.data() + size;
        m_size = size;
#endif
    }

    ~CGuardedBuffer()
    {
#if defined(GLYPHMILL_TEST_GUARD_PAGE)
        sigaction(SIGSEGV, &m_saved, nullptr);
        munmap(m_map, m_mapped);
#endif
    }

    CGuardedBuffer(const CGuardedBuffer&) = delete;
    CGuardedBuffer& operator=(const CGuardedBuffer&) = delete;

    // How many bytes lie before the guard.
    size_t Size() const
    {
        return m_size;
    }

    // The last `length` bytes (at most the size) before the guard.
    unsigned char* Tail(size_t length) const
    {
        return m_end - length;
    }

    static bool HasGuardPage()
    {
#if defined(GLYPHMILL_TEST_GUARD_PAGE)
        return true;
#else
        return false;
#endif
    }

private:
#if defined(GLYPHMILL_TEST_GUARD_PAGE)
    static void ReportFault(int)
    {
        static const char kMessage[] =
            "\nCGuardedBuffer: a read or write past the end of the buffer hit the guard page\n";
        (void)!write(2, kMessage, sizeof kMessage - 1);
        _exit(1);
    }

    unsigned char* m_map = nullptr;
    size_t m_mapped = 0;
    struct sigaction m_saved = {};
#else
    std::vector<unsigned char> m_plain;
#endif
    unsigned char* m_end = nullptr;
    size_t m_size = 0;
};

// The guarded buffer number `slot` (0 to 3), of at least `size` bytes, kept
// for the next call: mapping one per converter call would cost more than the
// conversion. The buffer a slot had before is unmapped first, so that the
// fault report stays installed.
inline CGuardedBuffer& ReusableGuardedBuffer(int slot, size_t size)
{
    static std::unique_ptr<CGuardedBuffer> buffers[4];
    std::unique_ptr<CGuardedBuffer>& buffer = buffers[slot];
    if (buffer == nullptr || buffer->Size() < size) {
        buffer.reset();
        buffer = std::make_unique<CGuardedBuffer>(size);
    }
    return *buffer;
}
