#include "app/HandOff.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/HandOffCommands.h"
#include "platform/Decl.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace app {

namespace {

// CopyFile's codes for a target that already exists.
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorAlreadyExists = 183;

// Copies the updater to the first free name at the drive root and returns
// that name. A name can be taken between the existence test and the copy (or
// be held by a hidden file, which the test does not see); the copy refuses to
// overwrite it and the next name is tried. Any other failure ends the
// hand-off: nothing that this run did not write may be registered or started.
std::string PlaceCopy(platform::Platform& system, const std::string& ownPath) {
    std::string candidate =
        handoff::FirstCopyCandidate(system.windowsDirectory(), system.executableTitle());
    for (;; candidate = handoff::NextCopyCandidate(candidate)) {
        if (system.normalFileExists(candidate)) continue;
        const std::uint32_t code = system.copyFileNoOverwrite(ownPath, candidate);
        if (code == 0) return candidate;
        if (code != kErrorFileExists && code != kErrorAlreadyExists)
            throw platform::SystemError("Não foi possível copiar o atualizador para " + candidate,
                                        code);
    }
}

void StartCleanup(platform::Platform& system, const std::string& commandLine) {
    try {
        system.startProgram(commandLine, platform::WindowStyle::MinimizedFocus);
    } catch (const platform::SystemError&) {
        // A start can fail while the system is still busy with this
        // process's windows; let it catch up and try once more.
        system.processPendingEvents();
        system.startProgram(commandLine, platform::WindowStyle::MinimizedFocus);
    }
}

}  // namespace

void FinishUpdate(platform::Platform& system, platform::UserInterface& ui, bool startRemover) {
    if (startRemover) {
        system.startProgram(handoff::RemoverCommandLine(mdlRegistry::InstalledDatabasePath(system)),
                            platform::WindowStyle::NormalFocus);
    }

    const std::string ownPath =
        handoff::OwnPath(system.executableFolder(), system.executableTitle());
    const std::string copyPath = PlaceCopy(system, ownPath);
    try {
        Decl::ScheduleDeleteOnRestart(system, copyPath);
        system.processPendingEvents();
        StartCleanup(system, handoff::CleanupCommandLine(copyPath, ownPath));
    } catch (const platform::SystemError&) {
        // The copy is ours and nothing runs from it: take it away again
        // rather than leave it at the drive root, then report as before.
        system.deleteFile(copyPath);
        throw;
    }
    ui.endProgram();
    // endProgram never returns, but a virtual call hides that from the compiler.
    std::abort();
}

}  // namespace app
