#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/HeldFile.h"
#include "platform/Platform.h"

namespace platform::win32 {

// Makes `path` as a new file (never an existing one), open to whom `access`
// says from the call that makes it, and fills it with the whole of
// `source`, flushed to the disk, on a thread of its own while this one
// answers its windows and reports `progress`. See NewFile. Null with
// `error` set on failure; nothing is then left at `path`.
std::unique_ptr<NewFile> CreateCopy(const std::wstring& path, HeldFile& source, DWORD& error,
                                    FileAccess access, const CopyProgress& progress);

}  // namespace platform::win32
