#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "uidriver.h"

// A temporary folder for one test, removed with everything in it.
class TempFolder {
  public:
    explicit TempFolder(const char* prefix = "win32") : path_(uidriver::MakeTempFolder(prefix)) {}
    ~TempFolder() { removeTree(L"\\\\?\\" + platform::win32::Widen(path_)); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  private:
    // In the long-path form, since some tests nest folders past MAX_PATH.
    static void removeTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found{};
        platform::win32::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (find) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    removeTree(path);
                } else {
                    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(find.get(), &found));
        }
        find.reset();
        ::RemoveDirectoryW(folder.c_str());
    }

    std::string path_;
};
