#include "app/HandOffCommands.h"

#include "platform/Paths.h"

namespace app::handoff {

namespace {
constexpr std::string_view kExtension = ".exe";

std::string Quoted(std::string_view programPath) {
    return "\"" + std::string(programPath) + "\"";
}
}  // namespace

std::string OwnPath(std::string_view folder, std::string_view title) {
    return paths::Join(folder, std::string(title) + std::string(kExtension));
}

std::string FirstCopyCandidate(std::string_view windowsDir, std::string_view title) {
    return std::string(windowsDir.substr(0, 3)) + std::string(title) + std::string(kExtension);
}

std::string NextCopyCandidate(std::string_view candidate) {
    const auto stem = candidate.size() >= kExtension.size()
                          ? candidate.substr(0, candidate.size() - kExtension.size())
                          : std::string_view{};
    return std::string(stem) + "0" + std::string(kExtension);
}

std::string RemoverCommandLine(std::string_view installedDatabasePath) {
    std::string folder(installedDatabasePath);
    paths::GetPathFromFile(folder);
    return Quoted(folder + "removedor.exe") + " /!";
}

std::string CleanupCommandLine(std::string_view copyPath, std::string_view ownPath) {
    return Quoted(copyPath) + " /!" + std::string(ownPath);
}

}  // namespace app::handoff
