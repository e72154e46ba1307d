#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

// Reading registry values as text, and the Windows directory.
namespace mdlRegistry {

// Where the installed product keeps the path of its database.
inline constexpr std::string_view kProductKey = "SOFTWARE\\Holmcrest\\Varnel R40";
inline constexpr std::string_view kDatabaseValue = "DB";

// One registry value as text: a REG_SZ up to its first NUL (all of it when it
// holds none); for every other type the decimal text of its first byte.
// Empty text when the key or the value cannot be read.
std::string ReadRegistryValue(platform::Platform& system, platform::RegistryRoot root,
                              std::string_view subKey, std::string_view valueName);

// The text rule of ReadRegistryValue for a value already read.
std::string QueryRegistryValue(const platform::RegistryData& value);

// The Windows directory; empty text on failure.
std::string GetWindowsDir(platform::Platform& system);

// The installed database's path from the product key; empty when absent.
std::string InstalledDatabasePath(platform::Platform& system);

}  // namespace mdlRegistry
