#include "platform/win32/DllSearch.h"

namespace platform::win32 {

DWORD RestrictDllSearchToSystem() {
    // Looked up rather than imported, so that a Windows without it says so
    // instead of refusing to start the program with a loader error.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto set = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                  ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                            : nullptr;
    if (!set) return ERROR_PROC_NOT_FOUND;
    if (!set(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        const DWORD error = ::GetLastError();
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    // The current folder is out of the search too for what does not follow
    // the default (SearchPath, older loaders).
    ::SetDllDirectoryW(L"");
    return 0;
}

}  // namespace platform::win32
