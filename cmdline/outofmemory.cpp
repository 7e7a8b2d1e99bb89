#include "cmdline/outofmemory.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void ExitOutOfMemory()
{
    static const char kMessage[] = "out of memory\n\n";
    std::fwrite(kMessage, 1, sizeof kMessage - 1, stdout);
    std::fflush(stdout);
    std::exit(1);
}

bool InstallOnce()
{
    if (std::get_new_handler() == nullptr) {
        std::set_new_handler(ExitOutOfMemory);
    }
    return true;
}

}  // namespace

void InstallOutOfMemoryHandler()
{
    static const bool kInstalled = InstallOnce();
    (void)kInstalled;
}
