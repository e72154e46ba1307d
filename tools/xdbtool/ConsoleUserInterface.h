#pragma once

#include "platform/UserInterface.h"

namespace xdbtool {

// Messages go to standard error, one per line, titled when they have a
// title; nothing waits for an answer (every box is answered OK). Ending the
// program exits with status 1.
class ConsoleUserInterface : public platform::UserInterface {
  public:
    int messageBox(std::string_view text, int style, std::string_view title) override;
    [[noreturn]] void endProgram() override;
};

}  // namespace xdbtool
