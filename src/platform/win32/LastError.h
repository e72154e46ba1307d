#pragma once

#include <windows.h>

namespace platform::win32 {

// The calling thread's last error, or `fallback` when a call failed without
// setting one: a failure is never reported as code 0, which means success.
inline DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace platform::win32
