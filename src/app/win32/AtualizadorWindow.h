#pragma once

#include <windows.h>

#include "crypto/Provider.h"
#include "platform/Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace app::win32 {

// The wizard window's class name, by which tools find the window.
inline constexpr wchar_t kAtualizadorWindowClass[] = L"AtualizadorWizard";

// The child-window ids of the wizard's controls.
enum AtualizadorControlId : int {
    kVersao = 101,
    kPicture10,
    kLabel15,
    kLine24,
    kLine25,
    kLine26,
    kLine27,
    kPicture4,
    kStatus,
    kPicture2,
    kCommand1,
    kCommand2,
    kPasso1,
    kLabel6,
    kLabel5,
    kPasso3,
    kCheck1,
    kLabel1,
    kPasso2,
    kLabel4,
    kLabel3,
    kLine1,
    kLabel2,
};

// Wizard mode: loads the wizard (which ends the program when the update
// package is missing or corrupted), shows it and runs it until the program
// ends. `iconResource` is the program's icon. Returns the message loop's
// exit code.
int RunAtualizadorWindow(HINSTANCE instance, int iconResource, platform::Platform& system,
                         platform::win32::Win32UserInterface& ui, crypto::Provider& provider);

}  // namespace app::win32
