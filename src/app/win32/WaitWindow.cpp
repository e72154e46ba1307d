#include "app/win32/WaitWindow.h"

#include <array>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "app/Fatal.h"
#include "app/Wait.h"
#include "app/win32/FormWindow.h"
#include "app/win32/Look.h"
#include "app/win32/TopLevelWindow.h"

namespace app::win32 {

namespace {

std::array<ControlLook, 7> Looks(int icon) {
    const auto drags = [](const char* name) { return app::Wait::StartsDrag(name); };
    ControlLook picture{.name = "Picture1", .kind = Kind::PictureBox, .id = kWaitPicture1};
    picture.background = SystemColour(COLOR_BTNFACE);
    picture.dragsWindow = drags("Picture1");

    // Siblings topmost first: Image1 covers Image2 until the animation moves it.
    ControlLook image1{
        .name = "Image1", .kind = Kind::Image, .parent = "Picture1", .id = kWaitImage1};
    image1.icon = icon;
    ControlLook image2{
        .name = "Image2", .kind = Kind::Image, .parent = "Picture1", .id = kWaitImage2};
    image2.icon = icon;

    ControlLook label{
        .name = "Label1", .kind = Kind::Label, .parent = "Picture1", .id = kWaitLabel1};
    label.background = kTransparent;
    label.font = Arial(8.25);
    label.align = Align::Centre;
    label.dragsWindow = drags("Label1");

    ControlLook line{.name = "Line1", .kind = Kind::Line, .parent = "Picture1", .id = kWaitLine1};
    line.background = SystemColour(COLOR_WINDOWTEXT);  // a line's default colour
    line.lineWidth = 2;

    return {picture,
            image1,
            image2,
            label,
            line,
            ControlLook{.name = "Timer1", .kind = Kind::Timer},
            ControlLook{.name = "egg", .kind = Kind::Timer}};
}

// A fixed dialog frame and no title bar; a tool window, so that it has no
// button in the taskbar and no icon.
constexpr DWORD kStyle = WS_DLGFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME;

// How the starting program asked the first window to be shown. Not every
// system applies it to SW_SHOWDEFAULT, so it is read and applied here.
int StartedShowState() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
}

class WaitWindow final : public FormEvents {
  public:
    WaitWindow(HINSTANCE instance, int icon, platform::Platform& system,
               platform::win32::Win32UserInterface& ui)
        : ui_(ui), wait_(system, ui), looks_(Looks(icon)) {
        wait_.Load(GetSysColor(COLOR_BTNFACE));
        window_ = std::make_unique<TopLevelWindow>(
            instance, TopLevelStyle{kWaitWindowClass, kStyle, kExStyle}, wait_.form(),
            std::string(app::Wait::kWindow), looks_, *this,
            [this](std::exception_ptr error) { app::ReportFatal(ui_, error); });
        hwnd_ = window_->handle();
        form_ = &window_->form();
        ui_.setOwner(hwnd_);
    }

    int Run(std::string path) {
        // The first show takes the state the program was started with
        // (minimized, by the hand-off); the window is then restored at once.
        ShowWindow(hwnd_, StartedShowState());
        ShowWindow(hwnd_, SW_RESTORE);
        UpdateWindow(hwnd_);
        wait_.ComeçarATentar(std::move(path));
        return RunMessageLoop(*form_);
    }

    void onClick(const std::string& control) override {
        if (control == "Image1") wait_.Image1Click();
    }
    void onMouseMove(const std::string&) override {}
    void onTimer(const std::string& control) override {
        if (control == "Timer1")
            wait_.Timer1Tick();
        else if (control == "egg")
            wait_.EggTick();
    }
    void onClose() override { wait_.CloseRequest(); }

  private:
    platform::win32::Win32UserInterface& ui_;
    app::Wait wait_;
    std::array<ControlLook, 7> looks_;
    std::unique_ptr<TopLevelWindow> window_;
    HWND hwnd_ = nullptr;
    FormWindow* form_ = nullptr;
};

}  // namespace

int RunWaitWindow(HINSTANCE instance, int iconResource, platform::Platform& system,
                  platform::win32::Win32UserInterface& ui, std::string path) {
    // Lives as long as the process: the program ends from inside its handlers.
    static std::unique_ptr<WaitWindow> window;
    window = std::make_unique<WaitWindow>(instance, iconResource, system, ui);
    return window->Run(std::move(path));
}

}  // namespace app::win32
