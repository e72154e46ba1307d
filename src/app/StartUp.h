#pragma once

#include <string>
#include <string_view>

namespace app {

// What the program is started to do, read once from its argument text.
struct StartUp {
    enum class Mode { Wizard, Cleanup, Unattended };
    Mode mode = Mode::Wizard;
    std::string path;  // cleanup mode: the file to delete, possibly empty
    std::string log;   // unattended mode: the file to append to; empty for none
};

// The argument text, trimmed of spaces (only spaces) at both ends, selects
// cleanup mode when it starts with exactly "/!"; the rest of it, unchanged,
// is the path. It selects the unattended mode when it is "/S" or "/s", alone
// or followed by one space and /LOG=<path>, the path quoted or not (a quoted
// one ends at its closing quote, which ends the text). Anything else selects
// the wizard.
StartUp ParseStartUp(std::string_view arguments);

}  // namespace app
