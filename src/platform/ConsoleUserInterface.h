#pragma once

#include <string>
#include <string_view>

#include "platform/UserInterface.h"

namespace platform {

// The user interface of a command-line program: messages go to standard
// error, one per line, after the program's name and their title when they
// have one; nothing waits for an answer (every box is answered OK). Ending
// the program exits with status 1.
class ConsoleUserInterface : public UserInterface {
  public:
    explicit ConsoleUserInterface(std::string program) : program_(std::move(program)) {}

    int messageBox(std::string_view text, int style, std::string_view title) override;
    [[noreturn]] void endProgram() override;

  private:
    std::string program_;
};

}  // namespace platform
