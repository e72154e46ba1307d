#pragma once

#include "app/UnattendedAnswers.h"
#include "crypto/Provider.h"
#include "platform/Platform.h"

namespace app {

// The update with nobody at the screen: the wizard's own steps, in order,
// without its window, its questions answered by `answers`, which ends the
// program with the outcome's exit code. Never goes as far as "Finalizar":
// no remover, no copy at the drive root, nothing registered, no restart.
// `othersRunning`: another updater holds the machine's lock.
[[noreturn]] void RunUnattended(platform::Platform& system, UnattendedAnswers& answers,
                                crypto::Provider& provider, bool othersRunning);

}  // namespace app
