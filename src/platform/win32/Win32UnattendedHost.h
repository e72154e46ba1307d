#pragma once

#include <string_view>

#include "platform/UnattendedHost.h"
#include "platform/win32/Handles.h"

namespace platform::win32 {

// The unattended mode's log, clock and end over kernel32.
class Win32UnattendedHost final : public platform::UnattendedHost {
  public:
    // Opens the log at `path` (UTF-8; empty for none) for appending, made
    // when missing. One that is a folder, a link or one of several names
    // of a file is not written: the updater runs as administrator, and the
    // path may be in a folder another account can change.
    explicit Win32UnattendedHost(std::string_view path);

    void log(std::string_view line) noexcept override;
    std::uint64_t milliseconds() override;
    void sleep(std::uint32_t milliseconds) override;
    [[noreturn]] void exit(int code) override;

  private:
    UniqueHandle log_;
};

}  // namespace platform::win32
