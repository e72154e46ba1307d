#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

// Deferred deletion: files that only a restart of Windows can remove.
namespace Decl {

// Registers an existing file for deletion at the next start of Windows:
// appends an empty line, "[Rename]" and "NUL=" with the file's short path to
// wininit.ini in the Windows directory, then asks the system itself too,
// since Windows NT and later no longer read that file. Throws
// platform::SystemError when the file cannot be written or the system
// refuses the order (then wininit.ini may name the file, but Windows NT
// ignores it).
void ScheduleDeleteOnRestart(platform::Platform& system, std::string_view path);

// The short (8.3) form of a path; empty when the system cannot form it.
std::string GetShortPath(platform::Platform& system, std::string_view path);

}  // namespace Decl
