#pragma once

#include <windows.h>

#include <string>

#include "platform/Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace app::win32 {

// The cleanup window's class name, by which tools find the window.
inline constexpr wchar_t kWaitWindowClass[] = L"AtualizadorWait";

// The child-window ids of the cleanup window's controls.
enum WaitControlId : int {
    kWaitPicture1 = 201,
    kWaitImage1 = 202,
    kWaitImage2 = 203,
    kWaitLabel1 = 204,
    kWaitLine1 = 205,
};

// Cleanup mode: shows the cleanup window, restores it to normal state (its
// program is started minimized), starts the attempts to delete `path` and
// runs the window until the program ends. `iconResource` is the program's
// icon, shown by both images. Returns the message loop's exit code.
int RunWaitWindow(HINSTANCE instance, int iconResource, platform::Platform& system,
                  platform::win32::Win32UserInterface& ui, std::string path);

}  // namespace app::win32
