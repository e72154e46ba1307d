#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Which file an open handle is, whatever its name now: the volume and the
// file's index on it. Two handles with the same identity are one file.
namespace platform::win32 {

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;

    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(HANDLE file);

// Clears the read-only attribute of an open file (opened with the right to
// write attributes), so that it can be deleted or replaced. `previous`
// receives its attributes before, 0 when they had no read-only to clear.
// Returns 0 or the system's error code.
DWORD ClearReadOnly(HANDLE file, DWORD& previous);

// The NT form of a path (\??\C:\..., \??\UNC\server\...), which the calls
// that take NT names accept on every version of Windows. Empty on failure.
std::wstring NtPathOf(const std::wstring& path);

}  // namespace platform::win32
