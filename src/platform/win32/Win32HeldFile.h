#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/HeldFile.h"
#include "platform/win32/Handles.h"

namespace platform::win32 {

// What a held file may be used for besides reading. RemovalOnly holds it
// with the right to delete it or not at all.
enum class HoldFor { Reading, Removal, RemovalOnly };

// Opens `path` and holds it: shared for reading only, so that no other
// program can write, rename or delete it while it is held. Held for removal,
// it is opened with the right to delete it too, where the system grants
// that (read-only media and some shares do not; the right is asked for again
// when the file is to be removed). Null with `error` set when the file
// cannot be opened at all.
std::unique_ptr<HeldFile> Hold(const std::wstring& path, HoldFor use, DWORD& error);

// What a file held for removal is opened with: reading, deleting, and
// clearing its read-only attribute.
inline constexpr DWORD kHoldAccess = GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES;

// Holds a file already open with kHoldAccess, shared for reading alone;
// `path` is its name.
std::unique_ptr<HeldFile> HoldOpen(UniqueHandle file, std::wstring path);

}  // namespace platform::win32
