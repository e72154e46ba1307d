#include "platform/mdlRegistry.h"

namespace mdlRegistry {

std::string QueryRegistryValue(const platform::RegistryData& value) {
    if (value.type == platform::kRegSz) {
        // A value written without its terminating NUL is taken whole rather
        // than refused.
        return value.data.substr(0, value.data.find('\0'));
    }
    if (value.data.empty()) return {};
    return std::to_string(static_cast<unsigned char>(value.data.front()));
}

std::string ReadRegistryValue(platform::Platform& system, platform::RegistryRoot root,
                              std::string_view subKey, std::string_view valueName) {
    const auto value = system.readRegistry(root, subKey, valueName);
    return value ? QueryRegistryValue(*value) : std::string{};
}

std::string GetWindowsDir(platform::Platform& system) {
    return system.windowsDirectory();
}

std::string InstalledDatabasePath(platform::Platform& system) {
    return ReadRegistryValue(system, platform::RegistryRoot::LocalMachine, kProductKey,
                             kDatabaseValue);
}

}  // namespace mdlRegistry
