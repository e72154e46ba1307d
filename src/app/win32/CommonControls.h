#pragma once

#include <windows.h>

#include <commctrl.h>

// The few common-controls calls the windows make, reached through the
// system folder's comctl32.dll. It is kept out of the import table:
// imported, it would be loaded, with what it imports in turn, before the
// program could restrict where DLLs come from.
namespace app::win32::comctl {

// Loads comctl32.dll from the system folder (the version the manifest
// asks for) and registers the standard control classes. Throws
// platform::SystemError. Call once, before any window is made; the DLL stays
// loaded for the life of the process, since the controls are its own.
void Load();

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace app::win32::comctl
