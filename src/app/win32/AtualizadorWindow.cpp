#include "app/win32/AtualizadorWindow.h"

#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/Atualizador.h"
#include "app/Fatal.h"
#include "app/win32/FormWindow.h"
#include "app/win32/Look.h"
#include "app/win32/TopLevelWindow.h"

namespace app::win32 {

namespace {

// The wizard's controls: siblings topmost first, parents before children.
std::vector<ControlLook> Looks() {
    const Font body = Arial(8.25);
    const auto label = [&](const char* name, const char* parent, int id) {
        return ControlLook{.name = name,
                           .kind = Kind::Label,
                           .parent = parent,
                           .id = id,
                           .background = kTransparent,
                           .font = body};
    };
    const auto line = [](const char* name, const char* parent, int id, int colour) {
        return ControlLook{.name = name,
                           .kind = Kind::Line,
                           .parent = parent,
                           .id = id,
                           .background = SystemColour(colour)};
    };
    const auto step = [](const char* name, int id) {
        return ControlLook{.name = name,
                           .kind = Kind::PictureBox,
                           .parent = "Picture2",
                           .id = id,
                           .background = SystemColour(COLOR_WINDOW)};
    };

    std::vector<ControlLook> looks;
    looks.push_back({.name = "Versão", .kind = Kind::TextBox, .id = kVersao});

    looks.push_back({.name = "Picture10",
                     .kind = Kind::PictureBox,
                     .id = kPicture10,
                     .background = SystemColour(COLOR_BTNSHADOW),
                     .dragsWindow = true});
    ControlLook title = label("Label15", "Picture10", kLabel15);
    title.foreground = SystemColour(COLOR_HIGHLIGHTTEXT);
    title.font = Arial(9.75, true, true);
    title.dragsWindow = true;
    looks.push_back(title);
    looks.push_back(line("Line24", "Picture10", kLine24, COLOR_BTNHIGHLIGHT));
    looks.push_back(line("Line25", "Picture10", kLine25, COLOR_BTNHIGHLIGHT));
    looks.push_back(line("Line26", "Picture10", kLine26, COLOR_BTNSHADOW));
    looks.push_back(line("Line27", "Picture10", kLine27, COLOR_BTNSHADOW));

    looks.push_back({.name = "Picture4",
                     .kind = Kind::PictureBox,
                     .id = kPicture4,
                     .background = SystemColour(COLOR_BTNFACE),
                     .sunkenBorder = true});
    looks.push_back({.name = "status",
                     .kind = Kind::Label,
                     .parent = "Picture4",
                     .id = kStatus,
                     .background = SystemColour(COLOR_BTNFACE),
                     .font = body,
                     .live = true});

    looks.push_back({.name = "Picture2",
                     .kind = Kind::PictureBox,
                     .id = kPicture2,
                     .background = FixedColour(255, 255, 255),
                     .sunkenBorder = true});
    looks.push_back({.name = "Command1",
                     .kind = Kind::Button,
                     .parent = "Picture2",
                     .id = kCommand1,
                     .font = body});
    looks.push_back({.name = "Command2",
                     .kind = Kind::Button,
                     .parent = "Picture2",
                     .id = kCommand2,
                     .font = body});
    looks.push_back(step("Passo1", kPasso1));
    looks.push_back(label("Label6", "Passo1", kLabel6));
    looks.push_back(label("Label5", "Passo1", kLabel5));
    looks.push_back(step("Passo3", kPasso3));
    looks.push_back({.name = "Check1", .kind = Kind::CheckBox, .parent = "Passo3", .id = kCheck1});
    ControlLook installing = label("Label1", "Passo3", kLabel1);
    installing.dragsWindow = true;
    looks.push_back(installing);
    looks.push_back(step("Passo2", kPasso2));
    looks.push_back(label("Label4", "Passo2", kLabel4));
    looks.push_back(label("Label3", "Picture2", kLabel3));
    ControlLook rule = line("Line1", "Picture2", kLine1, COLOR_WINDOWTEXT);
    rule.lineWidth = 2;
    looks.push_back(rule);
    ControlLook heading = label("Label2", "Picture2", kLabel2);
    heading.font = Arial(14.25);
    heading.align = Align::Right;
    looks.push_back(heading);
    return looks;
}

// A resizable frame without a title bar, with a button in the taskbar.
constexpr DWORD kStyle = WS_THICKFRAME | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_APPWINDOW;

class AtualizadorWindow final : public FormEvents {
  public:
    AtualizadorWindow(HINSTANCE instance, int icon, platform::Platform& system,
                      platform::win32::Win32UserInterface& ui, crypto::Provider& provider)
        : ui_(ui), wizard_(system, ui, provider), looks_(Looks()) {
        // The load step runs before the window is shown; it may end the
        // program, and then no window has been seen. It runs before the
        // window exists, too, so that reading the package, however slow,
        // never makes the window look hung to the system.
        wizard_.Load(GetSysColor(COLOR_BTNFACE));
        window_ = std::make_unique<TopLevelWindow>(
            instance, TopLevelStyle{kAtualizadorWindowClass, kStyle, kExStyle, icon},
            wizard_.form(), std::string(Atualizador::kWindow), looks_, *this,
            [this](std::exception_ptr error) { app::ReportFatal(ui_, error); });
        hwnd_ = window_->handle();
        form_ = &window_->form();
        ui_.setOwner(hwnd_);
    }

    int Run() {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        form_->focusFirst();
        return RunMessageLoop(*form_);
    }

    void onClick(const std::string& control) override {
        if (control == "Command1")
            wizard_.Command1Click();
        else if (control == "Command2")
            wizard_.Command2Click();
    }
    void onMouseMove(const std::string& control) override { wizard_.MouseMove(control); }
    void onTimer(const std::string&) override {}
    void onClose() override { wizard_.CloseRequest(); }

  private:
    platform::win32::Win32UserInterface& ui_;
    app::Atualizador wizard_;
    std::vector<ControlLook> looks_;
    std::unique_ptr<TopLevelWindow> window_;
    HWND hwnd_ = nullptr;
    FormWindow* form_ = nullptr;
};

}  // namespace

int RunAtualizadorWindow(HINSTANCE instance, int iconResource, platform::Platform& system,
                         platform::win32::Win32UserInterface& ui, crypto::Provider& provider) {
    // Lives as long as the process: the program ends from inside its handlers.
    static std::unique_ptr<AtualizadorWindow> window;
    window = std::make_unique<AtualizadorWindow>(instance, iconResource, system, ui, provider);
    return window->Run();
}

}  // namespace app::win32
