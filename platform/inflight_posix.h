#pragma once

#include <string>

// The temporary files in flight, one slot per worker, and what removes them
// when SIGINT, SIGTERM, SIGHUP or SIGPIPE ends the run. Internal to the POSIX
// host's replacement (platform/replace_posix.cpp).
//
// The signals are taken by a thread of their own (sigwait), not by a handler,
// so the cleanup may lock: it locks each slot in turn, removes the file the
// slot holds, and never unlocks. A worker creates, renames and removes its
// temporary file with its slot locked, so each of those steps is wholly
// before the cleanup (which then sees its outcome) or never happens.

namespace platform {

class CInFlight {
public:
    // Locks `slot`; a slot out of range (no cleanup installed: tests of the
    // replacement alone) locks nothing.
    explicit CInFlight(int slot);
    ~CInFlight();
    CInFlight(const CInFlight&) = delete;
    CInFlight& operator=(const CInFlight&) = delete;

    // The file the cleanup removes for this slot, `name` in the folder
    // `folder` holds open (which outlives the hold): set just after the file
    // was created (so a file not ours is never named), cleared once it is
    // renamed or removed.
    void Hold(int folder, const std::string& name);
    void Release();

private:
    struct InFlightSlot* m_slot;
};

}  // namespace platform
