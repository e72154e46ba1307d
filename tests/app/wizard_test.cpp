// The update wizard over the in-memory platform: each step's outcomes on
// screen and on disk, and every way the installation can go wrong.
#include "WizardRoad.h"
#include "app/AtualizadorTexts.h"

namespace {

using namespace road;
using fake::ProgramEnded;
namespace texts = app::atualizador_texts;

class WizardTest : public ::testing::Test, public Road {
  protected:
    // The version check's summary, ready to install.
    void AtSummary(File installedAs = {}, File package = {}) {
        installed(installedAs);
        load(package);
        next();
        ASSERT_TRUE(at("Command2").enabled);
    }
    void ClickEnds() { EXPECT_THROW(next(), ProgramEnded); }

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
};

// ------------------------------------------------------------ load step

// Faults: the window waiting on the whole package, the version shown in the
// code page's bytes, the panels' bands of the wrong width.
TEST_F(WizardTest, LoadKeepsTheNewVersionShadesThePanelsAndReadsOnlyTheHeader) {
    sys.putFile(kPackage, db::BuildPackage(provider, sys,
                                           "VR\xC7"
                                           "0042",
                                           1200, std::string(3 << 20, 'r')));
    load();
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_LT(sys.bytesRead, 64u * 1024);
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

// ------------------------------------------------------------ version check

// Faults: versions compared as texts, the installed version shown
// unconverted, the database touched before "Prosseguir".
TEST_F(WizardTest, OlderInstalledDatabaseShowsBothSummariesThenInstalls) {
    installed({},
              "VR\xC7"
              "9");
    load();
    next();
    EXPECT_TRUE(at("Passo2").visible);
    EXPECT_FALSE(at("Passo1").visible);
    EXPECT_EQ(at("Label4").caption,
              "Versão instalada: VRÇ9\r\nNúmero de cadastros: 900\r\n\r\n"
              "Versão atualizada: XDB10\r\nNúmero de cadastros: 1200\r\n\r\n\r\n"
              "Para continuar a atualização clique em \"Prosseguir\".");
    EXPECT_TRUE(at("Command2").enabled);
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);
    next();
    ExpectInstalled();
    EXPECT_TRUE(sys.messages.empty());
}

// ------------------------------------------------------------ installation

// Faults: the database missing or replaced while the product holds it, a
// refused replacement reported as success. Retry while held asks again,
// Retry once released installs.
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
    next();
    EXPECT_EQ(boxes, 2);
    ExpectInstalled();
}

// Faults: a copy that cannot be made (full disk, missing folder, no
// registry value) reported as success or changing anything; Retry not
// reading the registry again.
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
    next();
    ASSERT_EQ(sys.messages.size(), 3u);
    EXPECT_NE(sys.messages[0].text.find("(erro 112)"), std::string::npos);
    EXPECT_NE(sys.messages[1].text.find("(erro 3)"), std::string::npos);
    EXPECT_NE(sys.messages[2].text.find("não foi encontrado no registro"), std::string::npos);
    EXPECT_EQ(sys.contents(elsewhere), newBytes);
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);  // the old path is left alone
    EXPECT_FALSE(sys.exists(kPackage));
}

// Faults: a taken name beside the database (someone else's file, or one an
// older updater left) deleted, overwritten or tried again and again; a
// package swapped after the check installed; read-only files kept.
TEST_F(WizardTest, InstallsTheCheckedBytesUnderAFreshName) {
    AtSummary(With(&File::readOnly), With(&File::readOnly));
    const std::string taken = std::string(kInstalled) + ".novo";
    sys.putFile(taken, "not the updater's");
    EXPECT_EQ(sys.file(kPackage)->holds, 1) << "the package must be held from the load step";
    sys.putFile(kPackage, package("XDB99"));
    next();
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_EQ(sys.contents(taken), "not the updater's");
    EXPECT_FALSE(sys.file(kInstalled)->readOnly);
    EXPECT_EQ(sys.file(kInstalled)->access, platform::FileAccess::AsTheFolder);
    EXPECT_TRUE(sys.messages.empty());
}

// Faults: "Cancelar" offered or handled during the copy, a second
// installation, a hand-off before the database is in place, a hint written
// over the progress or cleared after it, the progress against a byte too many.
TEST_F(WizardTest, TheCopyShowsItsProgressAndClicksMeanwhileChangeNothing) {
    AtSummary();
    std::vector<std::string> shown;
    sys.whileCopying = [&] {
        shown.push_back(at("status").caption);
        EXPECT_FALSE(at("Command1").enabled);
        EXPECT_FALSE(at("Command2").enabled);
        wizard().Command2Click();
        wizard().Command1Click();
        wizard().MouseMove("Command1");
        EXPECT_EQ(at("status").caption, shown.back()) << "a hint over the progress";
    };
    next();
    ExpectInstalled("Fecha o atualizador");
    EXPECT_EQ(shown.front(), "Instalando o novo banco de dados: 0%");
    EXPECT_EQ(shown.back(), "Instalando o novo banco de dados: 100%");
    EXPECT_EQ(texts::CopyProgressText(1, 3), "Instalando o novo banco de dados: 33%");
    EXPECT_EQ(texts::CopyProgressText(0, 0), "Instalando o novo banco de dados: 100%");
    EXPECT_EQ(sys.copiesMade, 1);
    EXPECT_TRUE(sys.messages.empty());
    EXPECT_TRUE(sys.started.empty());
}

// Fault: a second click handled while the first is.
TEST_F(WizardTest, ASecondFinalizarWhileTheFirstIsHandledDoesNothing) {
    AtSummary();
    next();
    int reentered = 0;
    sys.onPendingEvents = [&] {
        if (reentered++ == 0) next();
    };
    ClickEnds();
    EXPECT_EQ(reentered, 1);
    EXPECT_EQ(sys.copiesMade, 2);       // the database, then one copy of the updater
    ASSERT_EQ(sys.started.size(), 2u);  // the remover and the cleanup copy, once each
}

// ------------------------------------------------------------ the window's own

// Faults: Tab reaching a control in a hidden box, Enter pressing nothing or
// a box, the focus left on a control a step hides or disables, a close
// request handled while "Cancelar" is disabled or asking twice at once.
TEST_F(WizardTest, TheKeyboardAndCloseRequestsReachEveryEnd) {
    installed();
    load();
    app::Form& form = wizard().form();
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
    next();
    EXPECT_EQ(tabs(4), "Picture4 Passo2 Picture10 Command1 Command2");

    sys.answer(platform::No);
    sys.onMessage = [&](const fake::Message&) { wizard().CloseRequest(); };  // "End task" again
    wizard().CloseRequest();
    sys.onMessage = nullptr;
    ASSERT_EQ(sys.messages.size(), 1u);
    EXPECT_EQ(sys.messages[0].title, "Confirmação");
    sys.whileCopying = [&] { wizard().CloseRequest(); };
    ASSERT_EQ(form.enterPresses(), "Command2");
    next();  // Enter: the copy disables the focused "Prosseguir"
    EXPECT_EQ(form.focused(), "Passo3");
    wizard().CloseRequest();
    EXPECT_EQ(sys.messages.size(), 1u) << "a close request during or after the copy";
    EXPECT_EQ(tabs(5), "Passo3 Check1 Picture2 Picture4 Picture10 Command2");
    EXPECT_EQ(form.enterPresses(), "Command2");
    EXPECT_EQ(at("Atualizador").caption, "Varnel 2001 - Release 40 - Atualizador");
}

// Faults: "Cancelar" ending without asking or despite No; a hint not
// following the button's caption or left when the pointer leaves.
TEST_F(WizardTest, CancelAsksForConfirmationAndHintsFollowTheButton) {
    load();
    sys.answer(platform::No);
    wizard().Command1Click();
    ASSERT_EQ(sys.messages.size(), 1u);
    for (const auto& [control, status] :
         {std::pair{"Command1", "Fecha o atualizador"}, std::pair{"Picture2", ""},
          std::pair{"Command2", "Atualiza o banco de dados"}, std::pair{"Atualizador", ""}}) {
        wizard().MouseMove(control);
        EXPECT_EQ(at("status").caption, status) << control;
    }
    wizard().form().setCaption("Command2", "Finalizar");
    wizard().MouseMove("Command2");
    EXPECT_EQ(at("status").caption, "Finaliza a atualização");
    sys.answer(platform::Yes);
    EXPECT_THROW(wizard().Command1Click(), ProgramEnded);
}

}  // namespace
