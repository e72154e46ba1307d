#include <windows.h>

#include <exception>
#include <optional>

#include "app/Fatal.h"
#include "app/StartUp.h"
#include "app/Unattended.h"
#include "app/win32/AtualizadorWindow.h"
#include "app/win32/WaitWindow.h"
#include "crypto/Provider.h"
#include "platform/SystemError.h"
#include "platform/win32/DllSearch.h"
#include "platform/win32/MachineLock.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UnattendedHost.h"
#include "platform/win32/Win32UserInterface.h"
#include "resource.h"

// The program's start: reads the command line once and shows exactly one
// window, the wizard or the cleanup window, whose message loop then runs
// until the program ends; or, unattended, shows none at all.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything else can load a DLL.
    const DWORD dllSearch = platform::win32::RestrictDllSearchToSystem();

    platform::win32::Win32Platform system;
    platform::win32::Win32UserInterface ui;
    // Unattended, even the fatal-error report goes to the log and the exit code.
    std::optional<platform::win32::Win32UnattendedHost> host;
    std::optional<app::UnattendedAnswers> answers;
    platform::UserInterface* report = &ui;
    try {
        const app::StartUp start = app::ParseStartUp(system.commandArguments());
        if (start.mode == app::StartUp::Mode::Unattended) {
            report = &answers.emplace(host.emplace(start.log));
        }
        if (dllSearch != 0)
            throw platform::SystemError(
                "Este Windows não permite limitar a busca de bibliotecas à pasta do sistema; "
                "instale as atualizações do Windows e tente novamente",
                dllSearch);

        if (start.mode == app::StartUp::Mode::Cleanup)
            return app::win32::RunWaitWindow(instance, IDI_ATUALIZADOR, system, ui, start.path);

        // Held until the process ends. The wizard runs whatever the lock
        // says, as it always has; the unattended mode leaves it to the
        // updater that holds it.
        const platform::win32::MachineLock lock;
        const auto provider = crypto::MakeSystemProvider();
        if (answers) app::RunUnattended(system, *answers, *provider, lock.othersRunning());
        return app::win32::RunAtualizadorWindow(instance, IDI_ATUALIZADOR, system, ui, *provider);
    } catch (...) {
        app::ReportFatal(*report, std::current_exception());
    }
}
