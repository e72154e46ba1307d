#include "platform/win32/Win32UnattendedHost.h"

#include <cstdio>
#include <exception>
#include <string>

#include "platform/win32/Text.h"

namespace platform::win32 {

Win32UnattendedHost::Win32UnattendedHost(std::string_view path) {
    if (path.empty()) return;
    try {
        // Opened as it is, a link included, and checked through this handle.
        UniqueHandle file(::CreateFileW(
            Widen(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file || !::GetFileInformationByHandle(file.get(), &info)) return;
        constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        if ((info.dwFileAttributes & kNotAFile) != 0 || info.nNumberOfLinks != 1) return;
        log_ = std::move(file);
    } catch (const std::exception&) {
        // A path that cannot be converted names no log.
    }
}

void Win32UnattendedHost::log(std::string_view line) noexcept {
    if (!log_) return;
    try {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        char time[32];
        std::snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u ", t.wYear, t.wMonth,
                      t.wDay, t.wHour, t.wMinute, t.wSecond);
        const std::string text = time + std::string(line) + "\r\n";
        DWORD written = 0;
        ::WriteFile(log_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } catch (const std::exception&) {
        // Out of memory for a line: the line is lost, the update goes on.
    }
}

std::uint64_t Win32UnattendedHost::milliseconds() {
    return ::GetTickCount64();
}

void Win32UnattendedHost::sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void Win32UnattendedHost::exit(int code) {
    ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform::win32
