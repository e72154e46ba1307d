#pragma once

#include <windows.h>

// Where the program's DLLs come from. The updater runs as administrator from
// folders that other programs can write (Downloads, a share): a DLL of a
// system name put there, or in the current folder, must never be loaded.
namespace platform::win32 {

// Restricts every later DLL search of the process to the system folder.
// Call it first, before anything loads a DLL. Returns 0, or the system's
// error code when it cannot be done (a Windows without
// SetDefaultDllDirectories reports ERROR_PROC_NOT_FOUND).
DWORD RestrictDllSearchToSystem();

}  // namespace platform::win32
