#pragma once

#include "platform/Platform.h"
#include "platform/UserInterface.h"

namespace app {

// Starts the product's remover beside the installed database, with "/!".
void StartRemover(platform::Platform& system);

// The wizard's last step, on "Finalizar": starts the product's remover when
// asked, copies the updater (`self`, its executable as held since start-up)
// to a free name at the root of the Windows drive, registers that copy for
// deletion at the next start of Windows, starts it in cleanup mode with this
// executable's path, and ends the program. When `self` is not the program
// that runs, it says so and ends without doing any of it.
[[noreturn]] void FinishUpdate(platform::Platform& system, platform::UserInterface& ui,
                               platform::HeldFile& self, bool startRemover);

}  // namespace app
