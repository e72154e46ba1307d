#include <windows.h>

#include <exception>

#include "app/Fatal.h"
#include "app/StartUp.h"
#include "app/win32/AtualizadorWindow.h"
#include "app/win32/WaitWindow.h"
#include "crypto/Provider.h"
#include "platform/SystemError.h"
#include "platform/win32/DllSearch.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"
#include "resource.h"

// The program's start: reads the command line once and shows exactly one
// window, the wizard or the cleanup window, whose message loop then runs
// until the program ends.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else can load a DLL.
    const DWORD dllSearch = platform::win32::RestrictDllSearchToSystem();

    platform::win32::Win32Platform system;
    platform::win32::Win32UserInterface ui;
    try {
        if (dllSearch != 0)
            throw platform::SystemError(
                "Este Windows não permite limitar a busca de bibliotecas à pasta do sistema; "
                "instale as atualizações do Windows e tente novamente",
                dllSearch);

        const app::StartUp start = app::ParseStartUp(system.commandArguments());
        if (start.mode == app::StartUp::Mode::Cleanup)
            return app::win32::RunWaitWindow(instance, IDI_ATUALIZADOR, system, ui, start.path);

        const auto provider = crypto::MakeSystemProvider();
        return app::win32::RunAtualizadorWindow(instance, IDI_ATUALIZADOR, system, ui, *provider);
    } catch (...) {
        app::ReportFatal(ui, std::current_exception());
    }
}
