// The update wizard over the in-memory platform: the road through its steps,
// the copy, and the window's keyboard and close requests.
#include "WizardRoad.h"
#include "app/AtualizadorTexts.h"

namespace {

using namespace road;
using fake::ProgramEnded;
namespace texts = app::atualizador_texts;

class WizardTest : public ::testing::Test, public Road {
  protected:
    // The version check's summary, ready to install.
    void AtSummary() {
        installed();
        load();
        next();
        ASSERT_TRUE(at("Command2").enabled);
    }
};

// Faults: the version shown in the code page's bytes, the panels' bands of
// another width, versions compared as texts, the database touched before
// "Prosseguir", "Cancelar" offered once installed.
TEST_F(WizardTest, TheSummaryShowsBothVersionsThenTheNewOneIsInstalled) {
    installed({},
              "VR\xC7"
              "9");
    sys.putFile(kPackage, package("VR\xC7"
                                  "10"));
    load();
    EXPECT_EQ(at("Picture2").drawing.size(), 64u * 26u);
    for (const char* step : {"Passo1", "Passo2", "Passo3"})
        EXPECT_EQ(at(step).drawing.size(), 63u * 51u) << step;
    next();
    EXPECT_EQ(at("Label4").caption,
              "Versão instalada: VRÇ9\r\nNúmero de cadastros: 900\r\n\r\n"
              "Versão atualizada: VRÇ10\r\nNúmero de cadastros: 1200\r\n\r\n\r\n"
              "Para continuar a atualização clique em \"Prosseguir\".");
    EXPECT_EQ(sys.contents(kInstalled), oldBytes);
    next();
    EXPECT_TRUE(at("Passo3").visible && !at("Passo2").visible);
    EXPECT_TRUE(at("Command2").enabled && !at("Command1").enabled);
    EXPECT_EQ(at("Command2").caption, "Finalizar");
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_FALSE(sys.exists(kPackage) || sys.anyStaged());
    EXPECT_TRUE(sys.messages.empty());
}

// Faults: a taken name beside the database (someone else's, or one an
// older updater left) overwritten or tried again and again; a package
// swapped after the check installed.
TEST_F(WizardTest, InstallsTheCheckedBytesUnderAFreshName) {
    AtSummary();
    const std::string taken = std::string(kInstalled) + ".novo";
    sys.putFile(taken, "not the updater's");
    sys.putFile(kPackage, package("XDB99"));
    next();
    EXPECT_EQ(sys.contents(kInstalled), newBytes);
    EXPECT_EQ(sys.contents(taken), "not the updater's");
    EXPECT_TRUE(sys.messages.empty());
}

// Faults: "Cancelar" offered or handled during the copy, a second
// installation, a hint written over the progress or cleared after it, the
// progress against a byte too many.
TEST_F(WizardTest, TheCopyShowsItsProgressAndClicksMeanwhileChangeNothing) {
    AtSummary();
    std::vector<std::string> shown;
    sys.whileCopying = [&] {
        shown.push_back(at("status").caption);
        EXPECT_FALSE(at("Command1").enabled || at("Command2").enabled);
        wizard().Command2Click();
        wizard().Command1Click();
        wizard().MouseMove("Command1");
        EXPECT_EQ(at("status").caption, shown.back()) << "a hint over the progress";
    };
    next();
    EXPECT_EQ(at("status").caption, "Fecha o atualizador");
    EXPECT_EQ(shown.front(), "Instalando o novo banco de dados: 0%");
    EXPECT_EQ(shown.back(), "Instalando o novo banco de dados: 100%");
    EXPECT_EQ(texts::CopyProgressText(1, 3), "Instalando o novo banco de dados: 33%");
    EXPECT_EQ(sys.copiesMade, 1);
    EXPECT_TRUE(sys.messages.empty());
}

// Fault: a second click handled while the first is.
TEST_F(WizardTest, ASecondFinalizarWhileTheFirstIsHandledDoesNothing) {
    AtSummary();
    next();
    int reentered = 0;
    sys.onPendingEvents = [&] {
        if (reentered++ == 0) next();
    };
    EXPECT_THROW(next(), ProgramEnded);
    EXPECT_EQ(sys.copiesMade, 2);       // the database, then one copy of the updater
    ASSERT_EQ(sys.started.size(), 2u);  // the remover and the cleanup copy, once each
}

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
    sys.whileCopying = [&] { wizard().CloseRequest(); };
    ASSERT_EQ(form.enterPresses(), "Command2");
    next();  // Enter: the copy disables the focused "Prosseguir"
    EXPECT_EQ(form.focused(), "Passo3");
    wizard().CloseRequest();
    EXPECT_EQ(sys.messages.size(), 1u) << "a close request during or after the copy";
}

}  // namespace
