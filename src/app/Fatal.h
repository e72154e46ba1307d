#pragma once

#include <string_view>

#include "platform/UserInterface.h"

namespace app {

// The one place an error that no handler expected ends up: it is shown in a
// message box, then the program ends.
[[noreturn]] void ReportFatal(platform::UserInterface& ui, std::string_view what);

}  // namespace app
