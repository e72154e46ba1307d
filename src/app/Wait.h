#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/Form.h"
#include "app/WaitEgg.h"
#include "platform/Platform.h"
#include "platform/UserInterface.h"

namespace app {

// The cleanup window: deletes the executable of the updater that started
// it, retrying every half second while that updater's process still holds
// the file, then offers to restart the computer so that the system removes
// the last file, this instance's own executable. A file at that path that
// is not the updater (its bytes are not this copy's) is left alone.
//
// The window itself is the form entry kWindow; its tag holds the path.
class Wait {
  public:
    static constexpr std::string_view kWindow = "Wait";

    Wait(platform::Platform& system, platform::UserInterface& ui);

    Form& form() { return form_; }
    const Form& form() const { return form_; }

    // Shades the panel; `buttonFace` is the system's colour, 0x00BBGGRR.
    void Load(std::uint32_t buttonFace);

    // Remembers the file to delete and starts the attempts; returns at once.
    void ComeçarATentar(std::string path);

    void Timer1Tick();
    void EggTick();
    void Image1Click();
    // The system asks the window to close.
    void CloseRequest();

    // Whether a mouse button pressed on this control moves the window.
    static bool StartsDrag(std::string_view control);

    bool EggRunning() const { return egg_.running; }
    bool EggToRight() const { return egg_.toRight; }

    // Attempts, one a tick, before a file that stays in use is given up:
    // two minutes.
    static constexpr int kAttempts = 240;

  private:
    void deleted();
    void notDeleted(const std::string& path, std::uint32_t error);
    void notTheUpdater(const std::string& path);
    egg::State eggState() const;
    void showEgg(const egg::State& s);

    platform::Platform& system_;
    platform::UserInterface& ui_;
    // This copy's own executable, held from start-up: the finished updater's
    // bytes, which the file to delete must have.
    std::uint32_t selfError_ = 0;
    std::unique_ptr<platform::HeldFile> self_;
    Form form_;
    struct {
        bool running = false;
        bool toRight = false;
    } egg_;
    int attempts_ = 0;
};

}  // namespace app
