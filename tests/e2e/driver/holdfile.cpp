// holdfile FILE SECONDS [EVENT]
// Opens FILE for reading with read sharing only, as a program using it
// would, and keeps it open for SECONDS or until the named event EVENT is
// signalled. With EVENT, signals EVENT-ready once the file is open.
// Exit codes: 0 held and released, 2 usage, 3 cannot open.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: holdfile FILE SECONDS [EVENT]\n", stderr);
        return 2;
    }
    const long seconds = std::wcstol(argv[2], nullptr, 10);
    HANDLE file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open (error %lu)\n", ::GetLastError());
        return 3;
    }
    const DWORD wait = seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 0;
    if (argc >= 4) {
        HANDLE release = ::OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
        HANDLE ready =
            ::OpenEventW(EVENT_MODIFY_STATE, FALSE, (std::wstring(argv[3]) + L"-ready").c_str());
        if (ready) {
            ::SetEvent(ready);
            ::CloseHandle(ready);
        }
        if (release) {
            ::WaitForSingleObject(release, wait);
            ::CloseHandle(release);
        } else {
            ::Sleep(wait);
        }
    } else {
        ::Sleep(wait);
    }
    ::CloseHandle(file);
    return 0;
}
