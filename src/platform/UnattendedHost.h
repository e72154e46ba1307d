#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// What the unattended mode needs of the system beside Platform: its log, a
// clock to wait by, and its end with an exit code.
class UnattendedHost {
  public:
    virtual ~UnattendedHost() = default;

    // Appends one UTF-8 line, after the local time, to the log the command
    // line names. Without a log, or when it cannot be written, nothing
    // happens: the log never changes what the update does.
    virtual void log(std::string_view line) noexcept = 0;
    // Milliseconds of a clock that only goes forward.
    virtual std::uint64_t milliseconds() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // Ends this process, the one that was started, with `code`.
    [[noreturn]] virtual void exit(int code) = 0;
};

}  // namespace platform
