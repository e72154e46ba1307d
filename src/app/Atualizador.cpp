#include "app/Atualizador.h"

#include <cmath>
#include <stdexcept>

#include "app/AtualizadorTexts.h"
#include "app/DigestingFile.h"
#include "app/HandOff.h"
#include "app/PanelDrawing.h"
#include "app/StagingName.h"
#include "app/VersionCheck.h"
#include "db/Database.h"
#include "db/HeldFileSource.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace app {

namespace texts = atualizador_texts;
namespace mb = platform::mb;

namespace {

constexpr std::string_view kPackageName = "db.xdb";
// A fresh staging name is looked for among this many.
constexpr int kStagingNames = 100;

Control Hidden(Control c) {
    c.visible = false;
    return c;
}

// A line from (x1, y1) to (x2, y2).
Control Line(double x1, double y1, double x2, double y2) {
    return ControlAt(x1, y1, x2 - x1, y2 - y1);
}

// Upper case as the system's string functions make it for the Western code
// page: ASCII letters, the accented Latin-1 letters, and the four whose
// capitals the code page holds outside Latin-1 (š œ ž ÿ).
std::string UpperCase(std::string_view utf8) {
    std::string out(utf8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if ((c == 0xC3 || c == 0xC5) && i + 1 < out.size()) {
            const auto next = static_cast<unsigned char>(out[++i]);
            if (c == 0xC3 && next == 0xBF) {
                // ÿ U+00FF: its capital is Ÿ U+0178.
                out[i - 1] = '\xC5';
                out[i] = '\xB8';
            } else if (c == 0xC3 && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                // U+00E0..U+00FE (but U+00F7, the division sign) map 0x20 down.
                out[i] = static_cast<char>(next - 0x20);
            } else if (c == 0xC5 && (next == 0xA1 || next == 0x93 || next == 0xBE)) {
                // š U+0161, œ U+0153, ž U+017E: each capital is one below.
                out[i] = static_cast<char>(next - 1);
            }
        }
    }
    return out;
}

}  // namespace

Atualizador::Atualizador(platform::Platform& system, platform::UserInterface& ui,
                         crypto::Provider& provider)
    : system_(system),
      ui_(ui),
      provider_(provider),
      self_(system.holdExecutable(selfError_)),
      seal_(ParsePackageSeal(system.packageSeal())) {
    // The window and its controls as designed, in twips.
    // The window's caption is the title strip's: no title bar shows it, but
    // the taskbar, Alt+Tab and screen readers do.
    form_.add(std::string(kWindow), ControlAt(0, 0, 5055, 4035, texts::kTitle));
    form_.add("Versão", Hidden(ControlAt(0, 3600, 1095, 375)));
    form_.add("Picture10", ControlAt(120, 120, 4815, 375));
    form_.add("Label15", ControlAt(120, 60, 4575, 255, texts::kTitle));
    form_.add("Line24", Line(4800, 0, 4800, 600));
    form_.add("Line25", Line(7680, 480, 0, 480));
    form_.add("Line26", Line(0, 0, 0, 480));
    form_.add("Line27", Line(0, 0, 7560, 0));
    form_.add("Picture4", ControlAt(0, 3720, 5055, 300));
    form_.add("status", ControlAt(120, 0, 4695, 255));
    form_.add("Picture2", ControlAt(120, 600, 4815, 3015));
    form_.add("Command1", ControlAt(1800, 2450, 1215, 375, texts::kCancel));
    form_.add("Command2", ControlAt(3360, 2450, 1215, 375, texts::kProceed));
    form_.add("Passo1", ControlAt(1680, 0, 3135, 3015));
    form_.add("Label6", ControlAt(120, 1440, 2895, 735, texts::kProceedHint));
    form_.add("Label5", ControlAt(120, 240, 2895, 1095, texts::kWelcome));
    form_.add("Passo3", Hidden(ControlAt(1680, 0, 3135, 3015)));
    Control check = ControlAt(120, 1560, 2775, 495, texts::kShowInfo);
    check.value = 1;
    form_.add("Check1", check);
    form_.add("Label1", ControlAt(120, 120, 2775, 1290, texts::kInstalling));
    form_.add("Passo2", Hidden(ControlAt(1680, 0, 3135, 3015)));
    form_.add("Label4", ControlAt(120, 240, 2640, 2130, texts::kChecking));
    form_.add("Label3", ControlAt(120, 720, 1335, 1095, texts::kDescription));
    form_.add("Line1", Line(120, 480, 1440, 480));
    form_.add("Label2", ControlAt(0, 120, 1500, 375, texts::kHeading));
    form_.setTabOrder({{"Picture2"},
                       {"Passo1", "Picture2"},
                       {"Picture4"},
                       {"Passo2", "Picture2"},
                       {"Picture10"},
                       {"Command1", "Picture2", true},
                       {"Command2", "Picture2", true},
                       {"Versão"},
                       {"Passo3", "Picture2"},
                       {"Check1", "Passo3"}});
}

std::string Atualizador::packagePath() {
    return paths::Join(system_.executableFolder(), kPackageName);
}

void Atualizador::Load(std::uint32_t buttonFace) {
    double band = 0;
    ShadePanel(form_, "Picture2", band, buttonFace);
    // Half-way values go to the even neighbour, as the runtime rounds.
    int limit = static_cast<int>(std::nearbyint(form_["Passo1"].left - 10));
    PreparePanelDrawing(form_, "Picture2", limit);
    for (const char* step : {"Passo1", "Passo2", "Passo3"}) {
        band = 50;
        ShadePanel(form_, step, band, buttonFace);
    }

    const std::string package = packagePath();
    if (!system_.normalFileExists(package)) {
        const std::string executable =
            UpperCase(paths::Join(system_.executableFolder(), system_.executableTitle() + ".exe"));
        ui_.messageBox(texts::MissingPackageText(executable), mb::Exclamation | mb::OkOnly,
                       texts::kMissingPackageTitle);
        ui_.endProgram();
    }

    // Held from here until it is removed. A package that cannot be opened
    // reaches the header check as the reader's marker text and fails it.
    std::uint32_t error = 0;
    package_ = system_.holdFile(package, error);
    // A release knows the size of its package: another one is not read at
    // all. (One that cannot be opened fails the header check below.)
    if (seal_ && package_ && package_->size() != seal_->size) API_FILE::EndAsCorrupted(ui_);
    db::ReadHeldDatabaseHeader(provider_, ui_, package_.get(), summary_);
    // The version text is the package's own 8-bit text, in the system's
    // code page: compared as it is, shown converted.
    newVersion_ = summary_.DbVersion;
    form_.setCaption("Versão", system_.ansiToUtf8(newVersion_));
    form_.setTag("Versão", std::to_string(summary_.DbRecordCount));
}

void Atualizador::Step1() {
    try {
        form_.setEnabled("Command2", false);
        const std::string installed = mdlRegistry::InstalledDatabasePath(system_);
        if (installed.empty()) {
            ui_.messageBox(texts::kNoInstalledText, mb::Critical | mb::OkOnly,
                           texts::kNoInstalledTitle);
            ui_.endProgram();
        }
        if (system_.normalFileExists(installed)) {
            readInstalledHeader(installed);
            const std::string installedVersion = system_.ansiToUtf8(summary_.DbVersion);
            switch (CompareVersions(summary_.DbVersion, newVersion_)) {
                case VersionOrder::InstalledOlder:
                    form_.setCaption(
                        "Label4", texts::SummaryText(installedVersion, summary_.DbRecordCount,
                                                     form_["Versão"].caption, form_["Versão"].tag));
                    form_.setEnabled("Command2", true);
                    break;
                case VersionOrder::Same:
                    form_.setCaption("Label4", texts::SameVersionText(installedVersion));
                    break;
                case VersionOrder::InstalledNewer:
                    form_.setCaption("Label4", texts::NewerVersionText(installedVersion));
                    break;
            }
            return;
        }
    } catch (const std::exception&) {
        // Every run-time error of the check becomes the reinstall question.
        // The end of the program is no std::exception and passes through.
    }

    if (ui_.messageBox(texts::kReinstallText, mb::Question | mb::YesNo, texts::kReinstallTitle) !=
        platform::Yes)
        ui_.endProgram();
    form_.setVisible("Passo2", false);
    form_.setVisible("Passo3", true);
    form_.setEnabled("Command2", true);
    InstalarDb();
}

void Atualizador::readInstalledHeader(const std::string& installed) {
    // Held while it is read, shared with the product's own reading; one that
    // cannot be opened reads as the reader's marker text and fails the check.
    std::uint32_t error = 0;
    const auto file = system_.holdForReading(installed, error);
    db::ReadHeldDatabaseHeader(provider_, ui_, file.get(), summary_);
}

std::unique_ptr<platform::NewFile> Atualizador::stagePackage(const std::string& installed,
                                                             platform::HeldFile& source,
                                                             std::uint32_t& error) {
    copying_ = true;
    const struct Done {
        Atualizador& wizard;
        ~Done() {
            // The hint the pointer left, as if the status line had shown
            // nothing but hints.
            wizard.copying_ = false;
            wizard.form_.setCaption("status", wizard.hint_);
        }
    } done{*this};
    const auto progress = [this](std::uint64_t copied, std::uint64_t total) {
        form_.setCaption("status", texts::CopyProgressText(copied, total));
    };
    for (int attempt = 0; attempt < kStagingNames; ++attempt) {
        if (auto staged = system_.createCopy(StagingName(installed, attempt), source, error,
                                             platform::FileAccess::AsTheFolder, progress))
            return staged;
        if (!platform::IsNameTaken(error)) break;
    }
    return nullptr;
}

void Atualizador::InstalarDb() {
    if (!package_) throw std::logic_error("the package is not held");
    // The window answers while the new database is copied, but nothing
    // else may start meanwhile: neither the cancellation nor the next step.
    form_.setEnabled("Command1", false);
    form_.setEnabled("Command2", false);
    // A release installs only the package it shipped with: its hash is taken
    // while it is copied.
    DigestingFile sealed(*package_, provider_);
    platform::HeldFile& source = seal_ ? static_cast<platform::HeldFile&>(sealed) : *package_;
    for (;;) {
        const std::string installed = mdlRegistry::InstalledDatabasePath(system_);
        std::uint32_t error = 0;
        auto staged = installed.empty() ? nullptr : stagePackage(installed, source, error);
        if (staged && seal_ && !sealed.matches(seal_->sha256)) {
            // Nothing has changed: the staged copy goes, the installed
            // database and the package stay as they were.
            staged.reset();
            ui_.messageBox(texts::kPackageMismatchText, mb::Critical | mb::OkOnly,
                           texts::kPackageMismatchTitle);
            ui_.endProgram();
        }
        if (!staged) {
            // Nothing has changed: the installed database and the package
            // are as they were.
            if (ui_.messageBox(texts::CopyFailedText(installed, error),
                               mb::Critical | mb::RetryCancel,
                               texts::kAccessErrorTitle) == platform::Retry)
                continue;
            ui_.endProgram();
        }
        // One step from the old database to the new one; while the product
        // holds the old one, it stays as it is.
        if (staged->replace(installed) != 0) {
            const int answer = ui_.messageBox(
                texts::kAccessErrorText, mb::Critical | mb::RetryCancel, texts::kAccessErrorTitle);
            staged.reset();  // the staged copy goes either way
            if (answer == platform::Retry) continue;
            ui_.endProgram();
        }
        break;
    }
    // From here on the new database is in place, and nothing installs again.
    removePackage();
    form_.setCaption("Label1", std::string(texts::kInstalled));
    form_.setCaption("Command2", std::string(texts::kFinish));
    form_.setEnabled("Command2", true);
}

void Atualizador::removePackage() {
    for (;;) {
        const std::uint32_t error = package_->remove();
        if (error == 0) break;
        if (ui_.messageBox(texts::PackageKeptText(packagePath(), error),
                           mb::Critical | mb::RetryCancel,
                           texts::kPackageKeptTitle) != platform::Retry)
            break;
    }
    package_.reset();
}

void Atualizador::Command1Click() {
    if (busy_) return;  // delivered while a step lets pending events through
    // A second request while the question is open (another "End task") asks
    // nothing more.
    busy_ = true;
    const int answer =
        ui_.messageBox(texts::kConfirmText, mb::Question | mb::YesNo, texts::kConfirmTitle);
    busy_ = false;
    if (answer == platform::Yes) ui_.endProgram();
}

void Atualizador::CloseRequest() {
    // Alt+F4, the taskbar's close and "End task" take the way out the window
    // offers, and only while it offers it: never during the copy, whose
    // outcome needs the window, nor once "Finalizar" leads on.
    if (form_["Command1"].enabled) Command1Click();
}

void Atualizador::Command2Click() {
    if (busy_) return;
    busy_ = true;
    const struct Done {
        bool& busy;
        ~Done() { busy = false; }
    } done{busy_};
    // Each step shows the next panel before hiding its own, so that one is
    // always on show.
    if (form_["Passo1"].visible) {
        form_.setVisible("Passo2", true);
        form_.setVisible("Passo1", false);
        Step1();
    } else if (form_["Passo2"].visible) {
        form_.setVisible("Passo3", true);
        form_.setVisible("Passo2", false);
        InstalarDb();
    } else if (form_["Passo3"].visible) {
        const bool remover = form_["Check1"].value == 1;
        if (!self_) {
            // Nothing to copy; the remover still comes first, as when the
            // copy cannot be made.
            if (remover) StartRemover(system_);
            throw platform::SystemError("Não foi possível abrir o executável do atualizador",
                                        selfError_);
        }
        FinishUpdate(system_, ui_, *self_, remover);
    }
}

void Atualizador::MouseMove(std::string_view control) {
    if (control == "Command1") {
        hint_ = texts::kHintClose;
    } else if (control == "Command2") {
        hint_ =
            form_["Command2"].caption == texts::kFinish ? texts::kHintFinish : texts::kHintUpdate;
    } else if (control == kWindow || control == "Picture2" || control == "Label6" ||
               control == "Label1") {
        hint_.clear();
    } else {
        return;
    }
    if (copying_) return;  // the status line shows the copy's progress
    form_.setCaption("status", hint_);
}

}  // namespace app
