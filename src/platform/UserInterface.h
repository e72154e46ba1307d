#pragma once

#include <string_view>

namespace platform {

// Message box styles and answers, with the values of the system's own.
namespace mb {
inline constexpr int OkOnly = 0;
inline constexpr int OkCancel = 1;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
}  // namespace mb

enum Answer : int { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// How the updater speaks to the user and how it stops. The updater shows
// modal message boxes; the maintainer tool prints to standard error; tests
// script the answers.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // A modal message; texts are UTF-8, line breaks CR LF. An empty title
    // stands for the application's own, "Atualizador". Returns the answer;
    // 0 when the box could not be shown (no answer, never a yes).
    virtual int messageBox(std::string_view text, int style, std::string_view title = {}) = 0;

    // Ends the program at once: no window closes with further events and
    // nothing more is shown.
    [[noreturn]] virtual void endProgram() = 0;
};

}  // namespace platform
