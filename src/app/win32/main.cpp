#include <windows.h>

#include <commctrl.h>

#include <exception>

#include "app/Fatal.h"
#include "app/StartUp.h"
#include "app/win32/AtualizadorWindow.h"
#include "app/win32/WaitWindow.h"
#include "crypto/Provider.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"
#include "resource.h"

// The program's start: reads the command line once and shows exactly one
// window, the wizard or the cleanup window, whose message loop then runs
// until the program ends.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    platform::win32::Win32Platform system;
    platform::win32::Win32UserInterface ui;
    try {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);

        const app::StartUp start = app::ParseStartUp(system.commandArguments());
        if (start.mode == app::StartUp::Mode::Cleanup)
            return app::win32::RunWaitWindow(instance, IDI_ATUALIZADOR, system, ui, start.path);

        const auto provider = crypto::MakeSystemProvider();
        return app::win32::RunAtualizadorWindow(instance, IDI_ATUALIZADOR, system, ui, *provider);
    } catch (const std::exception& e) {
        app::ReportFatal(ui, e.what());
    } catch (...) {
        app::ReportFatal(ui, "erro desconhecido");
    }
}
