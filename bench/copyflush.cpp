// copyflush SOURCE TARGET: copies a file to a new one in pieces of 1 MB and
// flushes it to the disk, as the updater's installation does, and prints how
// many milliseconds that took: the bare cost that bench/install_bench.py
// compares the installation with.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/win32/Handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: copyflush SOURCE TARGET\n", stderr);
        return 2;
    }
    using platform::win32::UniqueHandle;
    const auto start = std::chrono::steady_clock::now();
    UniqueHandle source(::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueHandle target(::CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source || !target) {
        std::fprintf(stderr, "copyflush: cannot open (error %lu)\n", ::GetLastError());
        return 1;
    }
    std::string buffer(1 << 20, '\0');
    DWORD got = 0;
    while (
        ::ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
        got > 0) {
        DWORD written = 0;
        if (!::WriteFile(target.get(), buffer.data(), got, &written, nullptr) || written != got)
            return 1;
    }
    if (!::FlushFileBuffers(target.get())) return 1;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("%lld\n", static_cast<long long>(ms.count()));
    return 0;
}
