#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/Form.h"
#include "app/PackageSeal.h"
#include "crypto/Provider.h"
#include "db/API_FILE.h"
#include "platform/Platform.h"
#include "platform/UserInterface.h"

namespace app {

// The update wizard: three steps that open the update package, compare its
// version with the installed database's, and install it. Plain logic over
// a Form; whoever shows the window forwards the events named below and
// renders the form.
class Atualizador {
  public:
    // The window's own entry in the form (its surface, for mouse moves).
    static constexpr std::string_view kWindow = "Atualizador";

    Atualizador(platform::Platform& system, platform::UserInterface& ui,
                crypto::Provider& provider);

    Form& form() { return form_; }
    const Form& form() const { return form_; }

    // The load step, before the window is shown: shades the panels, ends the
    // program when db.xdb is missing, and keeps the new database's version
    // in Versão. `buttonFace` is the system's colour, 0x00BBGGRR.
    void Load(std::uint32_t buttonFace);

    // The second step: compares the installed database with the new one.
    void Step1();
    // The third step: puts db.xdb in place of the installed database.
    void InstalarDb();

    // Events.
    void Command1Click();
    void Command2Click();
    void MouseMove(std::string_view control);
    // The system asks the window to close.
    void CloseRequest();

  private:
    std::string packagePath();
    // The installed database's header, read at the cost of the header.
    void readInstalledHeader(const std::string& installed);
    // Writes the package beside the installed database under a fresh name,
    // through `source` (the package, or the package read through its hash);
    // null with `error` set when it cannot.
    std::unique_ptr<platform::NewFile> stagePackage(const std::string& installed,
                                                    platform::HeldFile& source,
                                                    std::uint32_t& error);
    // Removes the package once the new database is in place; the user may
    // keep it when it cannot be removed.
    void removePackage();

    platform::Platform& system_;
    platform::UserInterface& ui_;
    crypto::Provider& provider_;
    Form form_;
    API_FILE::DatabaseSummary summary_;
    // The new database's version text as the package holds it (the system's
    // code page); Versão shows it converted.
    std::string newVersion_;
    // The updater's own executable, held from start-up: the hand-off copies
    // it, and must copy the program that is running, not whatever another
    // program may put at its path meanwhile.
    std::uint32_t selfError_ = 0;
    std::unique_ptr<platform::HeldFile> self_;
    // The package, held from the load step until it is removed: the bytes
    // installed are the bytes checked.
    std::unique_ptr<platform::HeldFile> package_;
    // What a release says of the package it ships; none in a development
    // or test build, which installs whatever valid package it finds.
    std::optional<PackageSeal> seal_;
    // A click being handled; a second one meanwhile (delivered while a copy
    // or the hand-off lets pending events through) does nothing.
    bool busy_ = false;
    // The new database is being copied: the status line shows how far, and
    // the hint the pointer asks for meanwhile waits.
    bool copying_ = false;
    std::string hint_;
};

}  // namespace app
