#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/HeldFile.h"

namespace platform::win32 {

// Makes `path` as a new file (never an existing one) and fills it with the
// whole of `source`, flushed to the disk. See NewFile. Null with `error` set
// on failure; nothing is then left at `path`.
std::unique_ptr<NewFile> CreateCopy(const std::wstring& path, HeldFile& source, DWORD& error);

}  // namespace platform::win32
