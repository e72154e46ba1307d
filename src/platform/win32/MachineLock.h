#pragma once

#include "platform/win32/Handles.h"

namespace platform::win32 {

// The one lock of the machine that every updater, wizard or unattended,
// holds while it runs, whatever the account and the session: a mutex in the
// global namespace, made with a protected DACL of SYSTEM and the
// Administrators alone, so that no other account can open the one an
// updater holds. Held from construction to destruction.
class MachineLock {
  public:
    MachineLock();
    // Whether another process had the lock first (then this one holds none).
    bool othersRunning() const noexcept { return !mutex_; }

  private:
    UniqueHandle mutex_;
};

}  // namespace platform::win32
