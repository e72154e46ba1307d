#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// What a system error code means, in the user's words (Portuguese): the
// codes an update meets are described; any other is "erro do sistema".
std::string DescribeSystemError(std::uint32_t code);

// A failed system call: what could not be done, in Portuguese, and the
// system's error code (GetLastError on Windows), which the message keeps:
// "Não foi possível iniciar X: o arquivo não foi encontrado (erro 2)".
class SystemError : public std::runtime_error {
  public:
    SystemError(const std::string& action, std::uint32_t code)
        : std::runtime_error(action + ": " + DescribeSystemError(code) + " (erro " +
                             std::to_string(code) + ")"),
          code_(code) {}

    std::uint32_t code() const noexcept { return code_; }

  private:
    std::uint32_t code_;
};

}  // namespace platform
