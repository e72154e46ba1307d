#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/UnattendedHost.h"
#include "platform/UserInterface.h"

namespace app {

// The unattended mode's exit codes, as deployment tools read them.
namespace exit_code {
inline constexpr int kDone = 0;           // installed, or nothing to install
inline constexpr int kUnexpected = 1;     // what the fatal-error handler catches
inline constexpr int kNoPackage = 2;      // no db.xdb beside the updater
inline constexpr int kBadPackage = 3;     // corrupted, or not this release's
inline constexpr int kNotInstalled = 4;   // no DB value under the product's key
inline constexpr int kBadInstalled = 5;   // the installed database is corrupted
inline constexpr int kInstallFailed = 6;  // a failure waiting does not cure
inline constexpr int kTryLater = 1618;    // another updater, or the database in use
}  // namespace exit_code

// How long a database the product holds is waited for, and how often the
// replacement is tried again meanwhile.
inline constexpr std::uint64_t kInUseWaitMs = 60000;
inline constexpr std::uint32_t kInUseRetryMs = 500;

// A box's title and text as one line of the log: line breaks become spaces.
std::string LogLine(std::string_view title, std::string_view text);

// The wizard's questions answered with nobody at the screen, and its ends
// turned into exit codes. Every box is written to the log instead of shown;
// what it says decides the answer, and the code the program ends with.
class UnattendedAnswers final : public platform::UserInterface {
  public:
    explicit UnattendedAnswers(platform::UnattendedHost& host) : host_(host) {}

    int messageBox(std::string_view text, int style, std::string_view title = {}) override;
    // Ends with the code the last box decided (kUnexpected when none did).
    [[noreturn]] void endProgram() override;
    [[noreturn]] void end(int code);

    void log(std::string_view line) { host_.log(line); }
    // What the corrupted-database box means from here on: the package's
    // check comes first, the installed database's later.
    void corruptedIs(int code) { corrupted_ = code; }

  private:
    platform::UnattendedHost& host_;
    int code_ = exit_code::kUnexpected;
    int corrupted_ = exit_code::kBadPackage;
    // When the installed database was first found in use.
    std::optional<std::uint64_t> inUseSince_;
};

}  // namespace app
