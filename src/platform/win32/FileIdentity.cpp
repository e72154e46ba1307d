#include "platform/win32/FileIdentity.h"

#include "platform/win32/LastError.h"

namespace platform::win32 {

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

DWORD ClearReadOnly(HANDLE file, DWORD& previous) {
    previous = 0;
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        return LastErrorOr(ERROR_GEN_FAILURE);
    if (!(basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) return 0;
    // Zero times leave them as they are.
    FILE_BASIC_INFO cleared{};
    cleared.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(file, FileBasicInfo, &cleared, sizeof cleared))
        return LastErrorOr(ERROR_GEN_FAILURE);
    previous = basic.FileAttributes;
    return 0;
}

std::wstring NtPathOf(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);

    const std::wstring_view text = full;
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\"))
        return L"\\??\\" + std::wstring(text.substr(4));
    if (text.starts_with(L"\\\\")) return L"\\??\\UNC\\" + std::wstring(text.substr(2));
    return L"\\??\\" + full;
}

}  // namespace platform::win32
