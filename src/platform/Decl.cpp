#include "platform/Decl.h"

#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace Decl {

std::string GetShortPath(platform::Platform& system, std::string_view path) {
    return system.shortPathName(path);
}

void ScheduleDeleteOnRestart(platform::Platform& system, std::string_view path) {
    const std::string ini = paths::Join(mdlRegistry::GetWindowsDir(system), "wininit.ini");
    const std::string shortPath = GetShortPath(system, path);
    system.appendAnsiText(ini, "\r\n[Rename]\r\nNUL=" + shortPath + "\r\n");
    // The order Windows NT and later actually carry out.
    if (const std::uint32_t error = system.deleteAtReboot(path); error != 0)
        throw platform::SystemError("Não foi possível agendar a remoção de " + std::string(path) +
                                        " na próxima inicialização do Windows",
                                    error);
}

}  // namespace Decl
