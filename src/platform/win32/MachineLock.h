#pragma once

#include "platform/win32/Handles.h"

namespace platform::win32 {

// The one lock of the machine that every updater, wizard or unattended,
// holds while it runs, whatever the account and the session: a mutex in the
// global namespace, owned by the Administrators and made with a protected
// DACL of SYSTEM and the Administrators alone, so that no other account can
// open the one an updater holds. Held from construction to destruction.
class MachineLock {
  public:
    MachineLock();
    // Whether another updater holds it. A mutex of that name that another
    // account made first (any account may make one there) is not an
    // updater's: it holds up nothing, or any account could stop every
    // update of the machine.
    bool othersRunning() const noexcept { return othersRunning_; }

  private:
    UniqueHandle mutex_;
    bool othersRunning_ = false;
};

}  // namespace platform::win32
