#pragma once

#include <string>
#include <string_view>

namespace app {

// What the program is started to do, read once from its argument text.
struct StartUp {
    enum class Mode { Wizard, Cleanup };
    Mode mode = Mode::Wizard;
    std::string path;  // cleanup mode: the file to delete, possibly empty
};

// The argument text, trimmed of spaces (only spaces) at both ends, selects
// cleanup mode when it starts with exactly "/!"; the rest of it, unchanged,
// is the path. Anything else selects the wizard.
StartUp ParseStartUp(std::string_view arguments);

}  // namespace app
