#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"

// What the Win32 platform tests share: a temporary folder removed with what
// is in it, and files made, opened and read whole with the test's own
// handles (sharing modes hold between the handles of one process too).
namespace win32test {

using platform::win32::UniqueHandle;
using platform::win32::Widen;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline UniqueHandle Open(const std::string& path, DWORD access, DWORD share,
                         DWORD disposition = OPEN_EXISTING) {
    return UniqueHandle(::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

inline std::string Put(const std::string& path, std::string_view bytes = "data") {
    UniqueHandle file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return path;
}

inline std::optional<std::string> Contents(const std::string& path) {
    UniqueHandle file = Open(path, GENERIC_READ, kShareAll);
    if (!file) return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return bytes;
}

inline bool Exists(const std::string& path) {
    return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
inline bool ReadOnly(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}
inline void SetReadOnly(const std::string& path, bool on = true) {
    ::SetFileAttributesW(Widen(path).c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

class TempFolder {
  public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        static int counter = 0;
        path_ = platform::win32::Narrow(temp) + "win32-" + std::to_string(::GetCurrentProcessId()) +
                "-" + std::to_string(counter++);
        ::CreateDirectoryW(Widen(path_).c_str(), nullptr);
    }
    // In the long-path form: some tests nest folders past MAX_PATH.
    ~TempFolder() { Remove(L"\\\\?\\" + Widen(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  private:
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found{};
        platform::win32::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
        while (find) {
            const std::wstring path = folder + L"\\" + found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            } else if (found.cFileName[0] != L'.') {
                Remove(path);
            }
            if (!::FindNextFileW(find.get(), &found)) break;
        }
        find.reset();
        ::RemoveDirectoryW(folder.c_str());
    }

    std::string path_;
};

}  // namespace win32test
