#pragma once

#include <windows.h>

#include "platform/UserInterface.h"

// Message boxes and the end of the program, over user32 and kernel32.
namespace platform::win32 {

class Win32UserInterface : public platform::UserInterface {
  public:
    // The window the message boxes belong to (they are modal to it); none
    // until the application sets one.
    void setOwner(HWND owner) noexcept { owner_ = owner; }
    HWND owner() const noexcept { return owner_; }

    int messageBox(std::string_view text, int style, std::string_view title = {}) override;
    [[noreturn]] void endProgram() override;

  private:
    HWND owner_ = nullptr;
};

}  // namespace platform::win32
