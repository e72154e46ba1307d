// schedule_delete PATH: registers PATH for deletion at the next start of
// Windows through the updater's own code, for the restart test of the bench.
#include <windows.h>

#include <cstdio>
#include <exception>

#include "platform/Decl.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: schedule_delete PATH\n", stderr);
        return 2;
    }
    try {
        platform::win32::Win32Platform system;
        Decl::ScheduleDeleteOnRestart(system, platform::win32::Narrow(argv[1]));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "schedule_delete: %s\n", e.what());
        return 1;
    }
}
