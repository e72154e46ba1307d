#pragma once

#include <exception>
#include <string>

#include "platform/UserInterface.h"

namespace app {

// What an error that no handler expected is, in the user's words: a system
// error says what could not be done and why, with the system's number; any
// other is named in general terms (its own text is the program's, not the
// user's, and not Portuguese).
std::string DescribeFatal(std::exception_ptr error);

// The one place such an error ends up: it is shown in a message box, then
// the program ends.
[[noreturn]] void ReportFatal(platform::UserInterface& ui, std::exception_ptr error);

}  // namespace app
