// The update wizard over the in-memory platform: each step's outcomes on
// screen and on disk, and every way the installation can go wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>

#include "FakeSystem.h"
#include "app/Atualizador.h"
#include "app/AtualizadorTexts.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#endif
#include "db/Database.h"

namespace {

using fake::File;
using fake::ProgramEnded;
namespace texts = app::atualizador_texts;

constexpr const char* kKey = "SOFTWARE\\Holmcrest\\Varnel R40";
constexpr const char* kInstalled = "C:\\Program Files\\Holmcrest\\Varnel R40\\db.xdb";
constexpr const char* kPackage = "C:\\Update\\db.xdb";
constexpr std::uint32_t kGrey = 0xC0C0C0;

File With(bool File::*attribute, bool on = true) {
    File f;
    f.*attribute = on;
    return f;
}

// Packages are made with the system's provider on Windows and with the
// portable one, keeping its keys in the test's temporary folder, elsewhere.
std::unique_ptr<crypto::Provider> TestProvider() {
#ifdef _WIN32
    return crypto::MakeSystemProvider();
#else
    return std::make_unique<crypto::OpenSslProvider>(std::filesystem::path(::testing::TempDir()) /
                                                     "atualizador-wizard-keys");
#endif
}

class WizardTest : public ::testing::Test {
  protected:
    WizardTest() {
        // The first use makes the key container and says so in a box; get
        // that over with before the wizard runs.
        fake::FakeSystem first;
        db::BuildPackage(provider, first, "XDB1", 1, "");
    }

    std::string Package(const std::string& version, std::int16_t records = 1) {
        return db::BuildPackage(provider, sys, version, records, "body of " + version);
    }
    // What a release built with `bytes` as its package says of it.
    std::string SealOf(const std::string& bytes) {
        const auto hash = provider.sha256();
        hash->update(bytes);
        std::ostringstream text;
        text << bytes.size() << ' ' << std::hex << std::setfill('0');
        for (const int b : hash->finish()) text << std::setw(2) << b;
        return text.str();
    }

    void Loaded(const std::string& version = "XDB10", std::int16_t records = 1200,
                File attributes = {}) {
        newBytes = Package(version, records);
        sys.putFile(kPackage, newBytes, attributes);
        wizard.Load(kGrey);
    }
    void Installed(const std::string& version = "XDB9", std::int16_t records = 900,
                   File attributes = {}) {
        sys.setRegistryString(kKey, "DB", kInstalled);
        oldBytes = Package(version, records);
        sys.putFile(kInstalled, oldBytes, attributes);
    }
    // The version check's summary, ready to install.
    void AtSummary(File installed = {}, File package = {}) {
        Installed("XDB9", 900, installed);
        Loaded("XDB10", 1200, package);
        Click();
        ASSERT_TRUE(at("Command2").enabled);
    }

    void Click() { wizard.Command2Click(); }
    void ClickEnds() { EXPECT_THROW(wizard.Command2Click(), ProgramEnded); }
    const app::Control& at(const char* name) const { return wizard.form()[name]; }

    void ExpectInstalled(const std::string& status = "") {
        EXPECT_TRUE(at("Passo3").visible);
        EXPECT_FALSE(at("Passo2").visible);
        EXPECT_EQ(at("Label1").caption, texts::kInstalled);
        EXPECT_EQ(at("Command2").caption, "Finalizar");
        EXPECT_TRUE(at("Command2").enabled);
        EXPECT_FALSE(at("Command1").enabled);
        EXPECT_EQ(at("status").caption, status);
        EXPECT_EQ(sys.contents(kInstalled), newBytes);
        EXPECT_FALSE(sys.exists(kPackage));
        EXPECT_FALSE(sys.anyStaged());
    }
    void ExpectNothingChanged(bool stagedGone = true) {
        EXPECT_EQ(sys.contents(kInstalled), oldBytes);
        EXPECT_EQ(sys.contents(kPackage), newBytes);
        if (stagedGone) {
            EXPECT_FALSE(sys.anyStaged());
        }
    }

    std::unique_ptr<crypto::Provider> owned = TestProvider();
    crypto::Provider& provider = *owned;
    fake::FakeSystem sys;
    app::Atualizador wizard{sys, sys, provider};
    std::string newBytes, oldBytes;
};

// ------------------------------------------------------------ load step

TEST_F(WizardTest, LoadKeepsTheNewVersionShadesThePanelsAndReadsOnlyTheHeader) {
    // A package far larger than its header: the window must not wait on it.
    newBytes = db::BuildPackage(provider, sys,
                                "VR\xC7"
                                "0042",
                                1200, std::string(3 << 20, 'r'));
    sys.putFile(kPackage, newBytes);
    wizard.Load(kGrey);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_LT(sys.bytesRead, 64u * 1024);
    // The package's own 8-bit text, shown converted from the code page.
    EXPECT_EQ(at("Versão").caption, "VRÇ0042");
    EXPECT_EQ(at("Versão").tag, "1200");
    EXPECT_FALSE(at("Versão").visible);
    EXPECT_TRUE(at("Passo1").visible);
    EXPECT_FALSE(at("Passo2").visible || at("Passo3").visible);
    // Picture2 in bands of 25 up to white, the steps in bands of 50.
    EXPECT_EQ(at("Picture2").drawing.size(), 64u * 26u);
    for (const char* step : {"Passo1", "Passo2", "Passo3"})
        EXPECT_EQ(at(step).drawing.size(), 63u * 51u) << step;
}

TEST_F(WizardTest, MissingHiddenOrCorruptedPackageEndsBeforeTheWindow) {
    const std::string update = "C:\\UPDATE\\ATUALIZADOR.EXE";
    struct Case {
        std::string folder, title;
        File package;
        bool put;
        std::string message;
    } cases[] = {
        {"C:\\Update", "Atualizador", {}, false, texts::MissingPackageText(update)},
        {"D:\\", "update", {}, false, texts::MissingPackageText("D:\\UPDATE.EXE")},
        {"C:\\Atualização", "Atualizador", With(&File::hidden), true,
         texts::MissingPackageText("C:\\ATUALIZAÇÃO\\ATUALIZADOR.EXE")},
        {"C:\\Update", "Atualizador", With(&File::system), true, texts::MissingPackageText(update)},
        {"D:\\", "Atualizador", {}, true, API_FILE::CorruptedMessage()},
    };
    for (const auto& c : cases) {
        fake::FakeSystem s;
        s.exeFolder = c.folder;
        s.exeTitle = c.title;
        if (c.put)
            s.putFile(c.folder + (c.folder.ends_with('\\') ? "" : "\\") + "db.xdb", "junk",
                      c.package);
        app::Atualizador w(s, s, provider);
        EXPECT_THROW(w.Load(kGrey), ProgramEnded) << c.folder;
        ASSERT_EQ(s.messages.size(), 1u) << c.folder;
        EXPECT_EQ(s.messages[0].text, c.message);
    }
}

// ------------------------------------------------------------ version check

TEST_F(WizardTest, OlderInstalledDatabaseShowsBothSummariesThenInstalls) {
    Installed(
        "VR\xC7"
        "9",
        900);
    Loaded("XDB10", 1200);
    Click();
    EXPECT_TRUE(at("Passo2").visible);
    EXPECT_FALSE(at("Passo1").visible);
    EXPECT_EQ(at("Label4").caption,
              "Versão instalada: VRÇ9\r\nNúmero de cadastros: 900\r\n\r\n"
              "Versão atualizada: XDB10\r\nNúmero de cadastros: 1200\r\n\r\n\r\n"
              "Para continuar a atualização clique em \"Prosseguir\".");
    EXPECT_TRUE(at("Command2").enabled);
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);  // untouched until the next click
    Click();
    ExpectInstalled();
    EXPECT_TRUE(sys.messages.empty());
}

TEST_F(WizardTest, SameOrNewerInstalledDatabaseOnlyLetsTheUserCancel) {
    for (const auto& [installed, caption] :
         {std::pair{"XDB0010", texts::SameVersionText("XDB0010")},
          std::pair{"XDB11", texts::NewerVersionText("XDB11")}}) {
        fake::FakeSystem s;
        s.setRegistryString(kKey, "DB", kInstalled);
        s.putFile(kInstalled, Package(installed));
        s.putFile(kPackage, Package("ABC10"));
        app::Atualizador w(s, s, provider);
        w.Load(kGrey);
        w.Command2Click();
        EXPECT_EQ(w.form()["Label4"].caption, caption);
        EXPECT_FALSE(w.form()["Command2"].enabled);
        EXPECT_TRUE(w.form()["Command1"].enabled);
        EXPECT_TRUE(s.messages.empty());
    }
}

// Without a registry value the update stops; an installed database that
// cannot be read, or is missing, leads to the reinstall question (No ends,
// Yes installs at once); a corrupted one ends with its own message.
TEST_F(WizardTest, VersionCheckFailuresStopAskOrEnd) {
    struct Case {
        const char* name;
        const char* installed;  // nullptr: no registry value
        File attributes;
        int answer;
        std::string title;
        bool installs;
    } cases[] = {
        {"no registry value", nullptr, {}, 0, "Banco de Dados não encontrado!", false},
        {"number out of range", "XDB32768", {}, platform::No, "Banco de dados inexistente", false},
        {"no number", "XDBabc", {}, platform::No, "Banco de dados inexistente", false},
        {"hidden", "XDB1", With(&File::hidden), platform::No, "Banco de dados inexistente", false},
        {"missing, Yes", "", {}, platform::Yes, "Banco de dados inexistente", true},
        {"corrupted", "garbage", {}, 0, "Banco de dados corrompido!", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem s;
        if (c.installed) s.setRegistryString(kKey, "DB", kInstalled);
        s.putFolder("C:\\Program Files\\Holmcrest\\Varnel R40");
        const std::string installed = c.installed ? c.installed : "";
        if (installed == "garbage")
            s.putFile(kInstalled, "garbage");
        else if (!installed.empty())
            s.putFile(kInstalled, Package(installed), c.attributes);
        const std::string package = Package("XDB10");
        s.putFile(kPackage, package);
        app::Atualizador w(s, s, provider);
        w.Load(kGrey);
        if (c.answer) s.answer(c.answer);
        if (c.installs) {
            w.Command2Click();
            EXPECT_EQ(s.contents(kInstalled), package);
            EXPECT_TRUE(w.form()["Passo3"].visible);
            EXPECT_EQ(w.form()["Command2"].caption, "Finalizar");
        } else {
            EXPECT_THROW(w.Command2Click(), ProgramEnded);
            EXPECT_EQ(s.contents(kPackage), package);
        }
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_EQ(s.messages[0].title, c.title);
    }
}

// ------------------------------------------------------------ installation

// While the product holds its database the user is asked, and the
// database stays whole: Retry while held asks again, Retry once released
// installs; Cancel ends with both files as they were and no staged copy.
TEST_F(WizardTest, LockedDatabaseAsksAndIsNeverMissingMeanwhile) {
    AtSummary(With(&File::locked));
    int boxes = 0;
    sys.onMessage = [&](const fake::Message& m) {
        EXPECT_EQ(m.text, texts::kAccessErrorText);
        ExpectNothingChanged(false);
        if (++boxes == 2) sys.putFile(kInstalled, oldBytes);
    };
    sys.answer(platform::Retry);
    sys.answer(platform::Retry);
    Click();
    EXPECT_EQ(boxes, 2);
    ExpectInstalled();
}

TEST_F(WizardTest, CancelWhileLockedLeavesBothFiles) {
    AtSummary(With(&File::locked));
    sys.answer(platform::Cancel);
    ClickEnds();
    ExpectNothingChanged();
}

// A copy that cannot be made (full disk, missing folder, no registry value)
// is reported, never as success, and changes nothing; Retry reads the
// registry again and installs once it can.
TEST_F(WizardTest, FailedCopiesKeepEverythingUntilRetried) {
    AtSummary();
    sys.diskSpace = newBytes.size() - 1;
    const std::string elsewhere = "D:\\Varnel\\db.xdb";
    sys.onMessage = [&](const fake::Message&) {
        ExpectNothingChanged();
        if (sys.messages.size() == 1) sys.setRegistryString(kKey, "DB", "Q:\\Nowhere\\db.xdb");
        if (sys.messages.size() == 2) sys.setRegistryString(kKey, "DB", "");
        if (sys.messages.size() == 3) {
            sys.diskSpace = ~0ull;
            sys.putFolder("D:\\Varnel");
            sys.setRegistryString(kKey, "DB", elsewhere);
        }
    };
    for (int i = 0; i < 3; ++i) sys.answer(platform::Retry);
    Click();
    ASSERT_EQ(sys.messages.size(), 3u);
    EXPECT_NE(sys.messages[0].text.find("(erro 112)"), std::string::npos);
    EXPECT_NE(sys.messages[1].text.find("(erro 3)"), std::string::npos);
    EXPECT_NE(sys.messages[2].text.find("não foi encontrado no registro"), std::string::npos);
    EXPECT_EQ(sys.contents(elsewhere), newBytes);
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);  // the old path is left alone
    EXPECT_FALSE(sys.exists(kPackage));
}

// Names beside the database already taken (someone else's file, or one an
// older updater left) are not ours to delete or overwrite; a package
// swapped after the check is not what gets installed; read-only files are
// replaced and removed like any other, and the new database is writable.
TEST_F(WizardTest, InstallsTheCheckedBytesUnderAFreshName) {
    AtSummary(With(&File::readOnly), With(&File::readOnly));
    const std::string taken = std::string(kInstalled) + ".novo";
    sys.putFile(taken, "not the updater's");
    EXPECT_EQ(sys.file(kPackage)->holds, 1) << "the package must be held from the load step";
    sys.putFile(kPackage, Package("XDB99"));
    Click();
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_EQ(sys.contents(taken), "not the updater's");
    EXPECT_FALSE(sys.file(kInstalled)->readOnly);
    EXPECT_EQ(sys.file(kInstalled)->access, platform::FileAccess::AsTheFolder);
    EXPECT_TRUE(sys.messages.empty());
}

// On read-only media the package cannot go. The new database is in place by
// then: the user is told, Retry tries the removal only, Cancel keeps the
// package, and the wizard goes on to "Finalizar" either way.
TEST_F(WizardTest, PackageThatCannotBeRemovedIsKeptWithoutInstallingAgain) {
    Installed();
    Loaded("XDB10", 1200, With(&File::readOnlyMedia));
    Click();
    sys.answer(platform::Retry);
    sys.answer(platform::Cancel);
    Click();
    ASSERT_EQ(sys.messages.size(), 2u);
    for (const auto& m : sys.messages) {
        EXPECT_EQ(m.title, "Erro ao remover o arquivo de atualização");
    }
    EXPECT_EQ(sys.copiesMade, 1);
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_EQ(sys.contents(kPackage), newBytes);
    EXPECT_EQ(at("Command2").caption, "Finalizar");
}

// However long the copy, the window answers meanwhile (the platform lets
// events through) and the status line says how far it is; a click then
// changes nothing: no second installation, no cancellation, no hand-off
// before the database is in place, and the hints wait until it is.
TEST_F(WizardTest, TheCopyShowsItsProgressAndClicksMeanwhileChangeNothing) {
    AtSummary();
    std::vector<std::string> shown;
    sys.whileCopying = [&] {
        shown.push_back(at("status").caption);
        EXPECT_FALSE(at("Command1").enabled);
        EXPECT_FALSE(at("Command2").enabled);
        wizard.Command2Click();
        wizard.Command1Click();
        wizard.MouseMove("Command1");
        EXPECT_EQ(at("status").caption, shown.back()) << "a hint over the progress";
    };
    Click();
    ExpectInstalled("Fecha o atualizador");
    EXPECT_EQ(shown.front(), "Instalando o novo banco de dados: 0%");
    EXPECT_EQ(shown.back(), "Instalando o novo banco de dados: 100%");
    EXPECT_EQ(sys.copiesMade, 1);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_TRUE(sys.started.empty());
}

TEST_F(WizardTest, ASecondFinalizarWhileTheFirstIsHandledDoesNothing) {
    AtSummary();
    Click();
    int reentered = 0;
    sys.onPendingEvents = [&] {
        if (reentered++ == 0) wizard.Command2Click();
    };
    ClickEnds();
    EXPECT_EQ(reentered, 1);
    EXPECT_EQ(sys.copiesMade, 2);       // the database, then one copy of the updater
    ASSERT_EQ(sys.started.size(), 2u);  // the remover and the cleanup copy, once each
}

// ------------------------------------------------------------ a release's package

// A release carries its package's size and hash: a package of another size
// reads as corrupted at load; one of the same size but other bytes is found
// out while it is copied, and nothing is installed; its own installs.
TEST_F(WizardTest, AReleaseInstallsOnlyThePackageItShippedWith) {
    Installed();
    const std::string shipped = Package("XDB10", 1200);
    const std::string sameSize = Package("XDB11", 1200);
    ASSERT_EQ(sameSize.size(), shipped.size());
    const std::string seal = SealOf(shipped);
    struct Case {
        const char* name;
        std::string package;
        std::string message;
    } cases[] = {
        {"another size", Package("XDB100", 1200), API_FILE::CorruptedMessage()},
        {"same size, other bytes", sameSize, std::string(texts::kPackageMismatchText)},
        {"its own", shipped, ""},
        // The hash of a copy tried again starts afresh.
        {"its own, once there is room", shipped, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem s;
        s.seal = seal;
        s.setRegistryString(kKey, "DB", kInstalled);
        s.putFile(kInstalled, oldBytes);
        s.putFile(kPackage, c.package);
        if (std::string(c.name) == "its own, once there is room") {
            s.diskSpace = 10;
            s.answer(platform::Retry);
            s.onMessage = [&](const fake::Message&) { s.diskSpace = ~0ull; };
        }
        app::Atualizador w(s, s, provider);
        try {
            w.Load(kGrey);
            w.Command2Click();
            w.Command2Click();
        } catch (const ProgramEnded&) {
        }
        EXPECT_EQ(s.contents(kInstalled), c.message.empty() ? c.package : oldBytes);
        EXPECT_EQ(s.exists(kPackage), !c.message.empty());
        EXPECT_FALSE(s.anyStaged());
        EXPECT_EQ(s.ended, !c.message.empty());
        if (!c.message.empty()) {
            ASSERT_EQ(s.messages.size(), 1u);
            EXPECT_EQ(s.messages[0].text, c.message);
        }
    }
    sys.seal = "1234 not a hash";
    EXPECT_THROW(app::Atualizador(sys, sys, provider), std::invalid_argument);
}

// ------------------------------------------------------------ the window's own

// Tab walks the column among the controls shown and enabled, Enter presses
// the focused button, and a step that hides or disables the focused control
// moves the focus on, so that the keyboard reaches every step; a close
// request is a click on "Cancelar" while it is enabled, and nothing else.
TEST_F(WizardTest, TheKeyboardAndCloseRequestsReachEveryEnd) {
    Installed();
    Loaded();
    app::Form& form = wizard.form();
    const auto tabs = [&](int n, bool backwards = false) {
        std::string seen = form.focused();
        while (n-- > 0) {
            form.focusNext(backwards);
            seen += " " + form.focused();
        }
        return seen;
    };
    form.focusFirst();
    EXPECT_EQ(tabs(6), "Picture2 Passo1 Picture4 Picture10 Command1 Command2 Picture2");
    EXPECT_EQ(tabs(2, true), "Picture2 Command2 Command1");
    EXPECT_EQ(form.enterPresses(), "Command1");
    form.focusNext(true);
    form.focusNext(true);
    EXPECT_EQ(form.enterPresses(), "") << "Enter on a box presses nothing";
    form.focusFirst();
    form.focusNext();
    form.setVisible("Passo1", false);  // as the next step does
    EXPECT_EQ(form.focused(), "Picture4");
    form.setVisible("Passo1", true);
    Click();
    EXPECT_EQ(tabs(4), "Picture4 Passo2 Picture10 Command1 Command2");

    sys.answer(platform::No);
    sys.onMessage = [&](const fake::Message&) { wizard.CloseRequest(); };  // "End task" again
    wizard.CloseRequest();
    sys.onMessage = nullptr;
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Confirmação");
    sys.whileCopying = [&] { wizard.CloseRequest(); };
    ASSERT_EQ(form.enterPresses(), "Command2");
    Click();  // Enter: the copy disables the focused "Prosseguir"
    EXPECT_EQ(form.focused(), "Passo3");
    wizard.CloseRequest();
    EXPECT_EQ(sys.messages.size(), 1u) << "a close request during or after the copy";
    EXPECT_EQ(tabs(5), "Passo3 Check1 Picture2 Picture4 Picture10 Command2");
    EXPECT_EQ(form.enterPresses(), "Command2");
    EXPECT_EQ(at("Command2").caption, "Finalizar");
    EXPECT_EQ(at("Atualizador").caption, "Varnel 2001 - Release 40 - Atualizador");
}

TEST_F(WizardTest, CancelAsksForConfirmationAndHintsFollowTheButton) {
    Loaded();
    sys.answer(platform::No);
    wizard.Command1Click();
    ASSERT_EQ(sys.messages.size(), 1u);
    sys.answer(platform::Yes);
    EXPECT_THROW(wizard.Command1Click(), ProgramEnded);

    // The hints follow the button's caption; the window's surface clears them.
    for (const auto& [control, status] :
         {std::pair{"Command1", "Fecha o atualizador"}, std::pair{"Picture2", ""},
          std::pair{"Command2", "Atualiza o banco de dados"}, std::pair{"Atualizador", ""}}) {
        wizard.MouseMove(control);
        EXPECT_EQ(at("status").caption, status) << control;
    }
    wizard.form().setCaption("Command2", "Finalizar");
    wizard.MouseMove("Command2");
    EXPECT_EQ(at("status").caption, "Finaliza a atualização");
}

// The texts the tests above compare with, word for word as the user reads
// them (the boxes' are in boxes_test.cpp).
TEST(WizardTexts, AreWordForWord) {
    const std::pair<std::string, std::string> texts[] = {
        {texts::SameVersionText("V"),
         "A versão do banco de dados encontrada em seu computador (V) é a mesma que deveria ser "
         "instalada, e por isso não poderá ser atualizada.\r\n\r\nClique em \"Cancelar\" para "
         "sair do Atualizador"},
        {texts::CopyProgressText(1, 3), "Instalando o novo banco de dados: 33%"},
        {texts::CopyProgressText(0, 0), "Instalando o novo banco de dados: 100%"},
    };
    for (const auto& [text, expected] : texts) EXPECT_EQ(text, expected);
}

}  // namespace
