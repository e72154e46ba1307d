#include "app/HandOff.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/AtualizadorTexts.h"
#include "app/HandOffCommands.h"
#include "platform/Decl.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace app {

namespace {

struct PlacedCopy {
    std::string path;
    std::unique_ptr<platform::HeldFile> held;
};

// Copies the updater to the first free name at the drive root, from its
// held executable, and holds the copy until it has been started. A name can
// be taken between the existence test and the copy (or be held by a hidden
// file, which the test does not see); the copy is never made over it and the
// next name is tried. Any other failure ends the hand-off: nothing that this
// run did not write may be registered or started.
PlacedCopy PlaceCopy(platform::Platform& system, platform::HeldFile& self) {
    std::string candidate =
        handoff::FirstCopyCandidate(system.windowsDirectory(), system.executableTitle());
    for (;; candidate = handoff::NextCopyCandidate(candidate)) {
        if (system.normalFileExists(candidate)) continue;
        std::uint32_t code = 0;
        // The drive root lets every account change what is made in it: the
        // copy, which runs as administrator, is the administrators' alone
        // from the call that makes it.
        auto made =
            system.createCopy(candidate, self, code, platform::FileAccess::AdministratorsOnly);
        if (platform::IsNameTaken(code)) continue;
        std::unique_ptr<platform::HeldFile> held = made ? made->keep(code) : nullptr;
        if (!held)
            throw platform::SystemError("Não foi possível copiar o atualizador para " + candidate,
                                        code);
        return {candidate, std::move(held)};
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

void StartRemover(platform::Platform& system) {
    system.startProgram(handoff::RemoverCommandLine(mdlRegistry::InstalledDatabasePath(system)),
                        platform::WindowStyle::NormalFocus);
}

void FinishUpdate(platform::Platform& system, platform::UserInterface& ui, platform::HeldFile& self,
                  bool startRemover) {
    // The copy runs as administrator: it must be this program, not what
    // another may have put at its name before it was held.
    if (!system.isRunningProgram(self)) {
        ui.messageBox(atualizador_texts::kUpdaterChangedText,
                      platform::mb::Critical | platform::mb::OkOnly,
                      atualizador_texts::kUpdaterChangedTitle);
        ui.endProgram();
        std::abort();
    }
    if (startRemover) {
        StartRemover(system);
    }

    const std::string ownPath =
        handoff::OwnPath(system.executableFolder(), system.executableTitle());
    PlacedCopy copy = PlaceCopy(system, self);
    try {
        Decl::ScheduleDeleteOnRestart(system, copy.path);
    } catch (const platform::SystemError&) {
        // No order names the copy yet, and nothing runs from it: it is ours
        // and goes now, rather than stay at the drive root for good.
        copy.held->remove();
        throw;
    }
    system.processPendingEvents();
    // A copy that cannot be started stays where it is: the orders just
    // given delete it at the next start of Windows, and they must not be
    // left naming a free name that another file may take meanwhile.
    StartCleanup(system, handoff::CleanupCommandLine(copy.path, ownPath));
    ui.endProgram();
    // endProgram never returns, but a virtual call hides that from the compiler.
    std::abort();
}

}  // namespace app
