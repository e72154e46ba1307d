#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "app/Wait.h"

namespace {

constexpr const char* kUpdater = "D:\\Update\\Atualizador.exe";
constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";
constexpr const char* kRestart =
    "O atualizador removeu os componentes de instalação, porém ainda resta um arquivo. Para "
    "removê-lo, será necessário que o computador seja reiniciado. Caso não seja reiniciado "
    "agora, o arquivo será apagado na próxima vez que o computador for ligado.\r\n\r\n"
    "Para reiniciar agora, clique em OK. Para reiniciar mais tarde, clique em Cancelar";

class WaitTest : public ::testing::Test {
  protected:
    const app::Control& control(const char* name) { return wait.form()[name]; }

    fake::FakeSystem sys;
    app::Wait wait{sys, sys};
};

TEST_F(WaitTest, LockedFileKeepsWaitingUntilItIsFree) {
    fake::File locked;
    locked.locked = true;
    sys.putFile(kUpdater, "MZ", locked);
    wait.ComeçarATentar(kUpdater);
    EXPECT_EQ(control("Wait").tag, kUpdater);

    for (int tick = 0; tick < 3; ++tick) wait.Timer1Tick();
    EXPECT_TRUE(sys.exists(kUpdater));
    EXPECT_TRUE(control("Timer1").enabled);
    EXPECT_EQ(control("Label1").caption, kWaiting);
    EXPECT_TRUE(sys.messages.empty());

    sys.putFile(kUpdater, "MZ");  // the updater's process has ended
    sys.answer(platform::Cancel);
    EXPECT_THROW(wait.Timer1Tick(), fake::ProgramEnded);
    EXPECT_FALSE(sys.exists(kUpdater));
}

TEST_F(WaitTest, DeletionLeadsToPronto_AndTheAnswerDecidesTheRestart) {
    struct Case {
        const char* name;
        const char* path;  // what the window is told to delete
        bool fileThere;
        int answer;
        bool rebootAccepted;
        bool ends;
        int reboots;
    };
    const Case cases[] = {
        {"cancel ends at once", kUpdater, true, platform::Cancel, true, true, 0},
        {"ok restarts, window stays", kUpdater, true, platform::Ok, true, false, 1},
        {"refused restart ends", kUpdater, true, platform::Ok, false, true, 1},
        // Nothing to wait for: no endless wait in a window without a close control.
        {"missing file counts as deleted", kUpdater, false, platform::Ok, true, false, 1},
        {"missing folder counts as deleted", "Z:\\gone\\x.exe", false, platform::Ok, true, false,
         1},
        {"empty path counts as deleted", "", false, platform::Cancel, true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem fresh;
        app::Wait w(fresh, fresh);
        if (c.fileThere) fresh.putFile(c.path, "MZ");
        fresh.rebootAccepted = c.rebootAccepted;
        fresh.answer(c.answer);
        bool timerWhileBoxOpen = true;
        fresh.onMessage = [&](const fake::Message&) {
            timerWhileBoxOpen = w.form()["Timer1"].enabled;
            EXPECT_EQ(w.form()["Label1"].caption, "Pronto");
        };
        w.ComeçarATentar(c.path);

        if (c.ends)
            EXPECT_THROW(w.Timer1Tick(), fake::ProgramEnded);
        else
            EXPECT_NO_THROW(w.Timer1Tick());

        EXPECT_FALSE(timerWhileBoxOpen);
        EXPECT_FALSE(fresh.exists(c.path));
        EXPECT_EQ(fresh.reboots, c.reboots);
        EXPECT_EQ(w.form()["Label1"].caption, "Pronto");
        ASSERT_EQ(fresh.messages.size(), 1u);
        const fake::Message& box = fresh.messages[0];
        EXPECT_EQ(box.title, "Reinicialização");
        EXPECT_EQ(box.style, 65);
        EXPECT_EQ(box.text, kRestart);

        // Once deleted, no further attempt and no second box.
        if (!c.ends) {
            w.Timer1Tick();
            EXPECT_EQ(fresh.messages.size(), 1u);
        }
    }
}

TEST_F(WaitTest, ErrorAfterTheDeletionEndsTheTickSilently) {
    sys.putFile(kUpdater, "MZ");
    sys.answer(platform::Ok);
    sys.onMessage = [](const fake::Message&) { throw std::runtime_error("box failed"); };
    wait.ComeçarATentar(kUpdater);
    EXPECT_NO_THROW(wait.Timer1Tick());
    EXPECT_FALSE(control("Timer1").enabled);
    EXPECT_EQ(sys.reboots, 0);
    EXPECT_FALSE(sys.ended);
}

// Runs the animation until its timer stops (or a safety limit), clicking the
// icon again after the given ticks; returns Image2's left after every tick.
std::vector<double> Animate(app::Wait& w, const std::set<int>& clickAfter = {}) {
    std::vector<double> lefts;
    w.Image1Click();
    for (int tick = 1; w.form()["egg"].enabled && tick < 200; ++tick) {
        w.EggTick();
        EXPECT_EQ(w.form()["Line1"].visible, w.form()["egg"].enabled);
        lefts.push_back(w.form()["Image2"].left);
        if (clickAfter.count(tick)) w.Image1Click();
    }
    return lefts;
}

// Out to the far end in steps of 300 twips and back, one step a tick;
// clicks meanwhile turn the icon round.
TEST_F(WaitTest, IconSlidesOutAndBackInStepsOf300AndClicksTurnItRound) {
    const auto lefts = Animate(wait);
    ASSERT_EQ(lefts.size(), 36u);
    for (std::size_t i = 0; i < lefts.size(); ++i) {
        const double expected = i < 17    ? 300.0 * double(i + 1)
                                : i == 17 ? 5100.0
                                : i < 35  ? 5100.0 - 300.0 * double(i - 17)
                                          : 0.0;
        EXPECT_EQ(lefts[i], expected) << "tick " << i + 1;
    }
    EXPECT_FALSE(wait.EggRunning());
    EXPECT_FALSE(control("Line1").visible);
    EXPECT_EQ(Animate(wait).size(), 36u) << "a click from rest starts a whole new run";

    struct Turn {
        const char* name;
        std::set<int> clickAfter;
        double farthest;
        std::size_t ticks;
    };
    const Turn turns[] = {
        {"turned back on the way out", {5}, 1500, 11},
        {"sent out again on the way home", {20}, 5100, 41},
        {"turned twice on the way out", {3, 4}, 5100, 38},
    };
    for (const Turn& c : turns) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem fresh;
        app::Wait w(fresh, fresh);
        const auto turned = Animate(w, c.clickAfter);
        EXPECT_EQ(turned.size(), c.ticks);
        double farthest = 0;
        for (double left : turned) {
            EXPECT_EQ(std::fmod(left, 300.0), 0.0);
            EXPECT_GE(left, 0.0);
            farthest = std::max(farthest, left);
        }
        EXPECT_EQ(farthest, c.farthest);
        EXPECT_EQ(turned.back(), 0.0);
        EXPECT_FALSE(w.EggRunning());
    }
}

TEST_F(WaitTest, PanelIsShadedInBandsOf100Twips) {
    wait.Load(0xC0C0C0);
    const app::Control& panel = control("Picture1");
    EXPECT_TRUE(panel.autoRedraw);
    ASSERT_GT(panel.drawing.size(), 102u);
    EXPECT_EQ(panel.drawing[0].x, 0.0);
    EXPECT_EQ(panel.drawing[0].colour, 0xC0C0C0u);
    EXPECT_EQ(panel.drawing[101].x, 100.0);
    EXPECT_EQ(panel.drawing[101].colour, 0xC1C1C1u);
}

}  // namespace
