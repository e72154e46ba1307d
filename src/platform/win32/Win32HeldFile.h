#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/HeldFile.h"
#include "platform/win32/FileIdentity.h"

namespace platform::win32 {

// What a held file may be used for besides reading.
enum class HoldFor { Reading, Removal };

// Opens `path` and holds it: shared for reading only, so that no other
// program can write, rename or delete it while it is held. Held for removal,
// it is opened with the right to delete it too, where the system grants
// that (read-only media and some shares do not; the right is asked for again
// when the file is to be removed). Null with `error` set when the file
// cannot be opened at all. With `expected`, a file at `path` that is not
// that file is not held (ERROR_FILE_INVALID).
std::unique_ptr<HeldFile> Hold(const std::wstring& path, HoldFor use, DWORD& error,
                               const FileIdentity* expected = nullptr);

}  // namespace platform::win32
