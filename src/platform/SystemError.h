#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// A failed system call, carrying the system's error code (GetLastError on
// Windows) so that whoever reports it can show the number.
class SystemError : public std::runtime_error {
  public:
    SystemError(std::string what, std::uint32_t code)
        : std::runtime_error(std::move(what) + " (error " + std::to_string(code) + ")"),
          code_(code) {}

    std::uint32_t code() const noexcept { return code_; }

  private:
    std::uint32_t code_;
};

}  // namespace platform
