// The cleanup window over the in-memory platform: the deletion of the
// finished updater, how every road of it ends, and the icon's animation.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "app/Wait.h"
#include "app/WaitTexts.h"

namespace {

constexpr const char* kUpdater = "D:\\Update\\Atualizador.exe";
constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";

fake::File Locked() {
    fake::File f;
    f.locked = true;
    return f;
}

class WaitTest : public ::testing::Test {
  protected:
    // Ticks until the restart question, answered Cancel; how many it took.
    int TicksUntilTheEnd(int limit) {
        sys.answer(platform::Cancel);
        for (int tick = 1; tick <= limit; ++tick) {
            try {
                wait.Timer1Tick();
            } catch (const fake::ProgramEnded&) {
                return tick;
            }
        }
        return -1;
    }
    const app::Control& at(const char* name) { return wait.form()[name]; }

    fake::FakeSystem sys;
    app::Wait wait{sys, sys};
};

// The updater's process still holds its file: the window waits, silently,
// and deletes it at the first tick after it is free.
TEST_F(WaitTest, AFileInUseIsWaitedForAndDeletedOnceFree) {
    sys.putFile(kUpdater, "MZ", Locked());
    wait.ComeçarATentar(kUpdater);
    for (int tick = 0; tick < 3; ++tick) wait.Timer1Tick();
    EXPECT_TRUE(sys.exists(kUpdater));
    EXPECT_TRUE(at("Timer1").enabled);
    EXPECT_EQ(at("Label1").caption, kWaiting);
    EXPECT_TRUE(sys.messages.empty());

    sys.putFile(kUpdater, "MZ");  // the updater's process has ended
    EXPECT_EQ(TicksUntilTheEnd(1), 1);
    EXPECT_FALSE(sys.exists(kUpdater));
    EXPECT_EQ(sys.messages.size(), 1u);
}

// Every road ends at "Pronto" and the restart question. What waiting cannot
// cure is told (which file, the system's reason and number) instead of being
// tried for ever; a read-only updater is made writable first.
TEST_F(WaitTest, EveryRoadEndsAtTheRestartQuestion) {
    struct Case {
        const char* name;
        const char* path;
        void (*arrange)(fake::FakeSystem&);
        int ticks;               // until the restart question
        std::uint32_t reported;  // 0: nothing told before it
    };
    const Case cases[] = {
        {"free", kUpdater, [](fake::FakeSystem& s) { s.putFile(kUpdater, "MZ"); }, 1, 0},
        {"read-only", kUpdater,
         [](fake::FakeSystem& s) {
             fake::File f;
             f.readOnly = true;
             s.putFile(kUpdater, "MZ", f);
         },
         1, 0},
        {"missing file", kUpdater, [](fake::FakeSystem&) {}, 1, 0},
        {"missing folder", "Z:\\gone\\x.exe", [](fake::FakeSystem&) {}, 1, 0},
        {"empty path", "", [](fake::FakeSystem&) {}, 1, 0},
        {"write-protected disc", kUpdater,
         [](fake::FakeSystem& s) {
             fake::File f;
             f.readOnlyMedia = true;
             s.putFile(kUpdater, "MZ", f);
         },
         1, 19},
        // Refused although nothing holds it.
        {"access denied", kUpdater, [](fake::FakeSystem& s) { s.putFolder(kUpdater); }, 1, 5},
        {"in use for good", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, "MZ", Locked()); }, app::Wait::kAttempts,
         32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem s;
        app::Wait w(s, s);
        c.arrange(s);
        bool timerWhileBoxOpen = true;
        s.onMessage = [&](const fake::Message& m) {
            timerWhileBoxOpen = w.form()["Timer1"].enabled;
            EXPECT_EQ(w.form()["Label1"].caption,
                      m.title == "Reinicialização" ? "Pronto" : kWaiting);
        };
        w.ComeçarATentar(c.path);
        s.answer(platform::Cancel);
        int ticks = 0;
        while (!s.ended && ticks < 1000) {
            ++ticks;
            try {
                w.Timer1Tick();
            } catch (const fake::ProgramEnded&) {
            }
        }
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_FALSE(timerWhileBoxOpen);
        ASSERT_EQ(s.messages.size(), c.reported ? 2u : 1u);
        if (c.reported) {
            EXPECT_EQ(s.messages[0].title, "Erro ao remover o atualizador");
            EXPECT_EQ(s.messages[0].text, app::wait_texts::NotRemovedText(c.path, c.reported));
        }
        EXPECT_EQ(s.messages.back().title, "Reinicialização");
        EXPECT_EQ(s.messages.back().style, 65);
        EXPECT_EQ(s.messages.back().text, app::wait_texts::kRestartText);
        EXPECT_EQ(s.exists(c.path), c.reported != 0);
    }
    EXPECT_EQ(app::wait_texts::NotRemovedText("D:\\A.exe", 19),
              "Não foi possível remover o atualizador (D:\\A.exe): a mídia está protegida contra "
              "gravação (erro 19).\r\n\r\nEsse arquivo pode ser apagado normalmente mais tarde.");
    EXPECT_EQ(app::wait_texts::kRestartText,
              "O atualizador removeu os componentes de instalação, porém ainda resta um arquivo. "
              "Para removê-lo, será necessário que o computador seja reiniciado. Caso não seja "
              "reiniciado agora, o arquivo será apagado na próxima vez que o computador for "
              "ligado.\r\n\r\nPara reiniciar agora, clique em OK. Para reiniciar mais tarde, "
              "clique em Cancelar");
}

// OK restarts and the window stays; a refused restart would leave a window
// nothing can close, so it ends; once deleted nothing is tried again.
TEST_F(WaitTest, TheAnswerDecidesTheRestart) {
    for (const bool accepted : {true, false}) {
        fake::FakeSystem s;
        app::Wait w(s, s);
        s.rebootAccepted = accepted;
        s.answer(platform::Ok);
        w.ComeçarATentar(kUpdater);
        if (accepted) {
            EXPECT_NO_THROW(w.Timer1Tick());
            w.Timer1Tick();
            EXPECT_EQ(s.messages.size(), 1u);
        } else {
            EXPECT_THROW(w.Timer1Tick(), fake::ProgramEnded);
        }
        EXPECT_EQ(s.reboots, 1);
    }
    sys.answer(platform::Ok);
    sys.onMessage = [](const fake::Message&) { throw std::runtime_error("box failed"); };
    wait.ComeçarATentar(kUpdater);
    EXPECT_NO_THROW(wait.Timer1Tick());  // an error after the deletion ends the tick
    EXPECT_FALSE(at("Timer1").enabled);
    EXPECT_EQ(sys.reboots, 0);
}

// Runs the animation until its timer stops, clicking the icon again after
// the given ticks; Image2's left after every tick.
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
    EXPECT_EQ(Animate(wait).size(), 36u) << "a click from rest starts a whole new run";

    const struct {
        std::set<int> clickAfter;
        double farthest;
        std::size_t ticks;
    } turns[] = {{{5}, 1500, 11}, {{20}, 5100, 41}, {{3, 4}, 5100, 38}};
    for (const auto& c : turns) {
        fake::FakeSystem fresh;
        app::Wait w(fresh, fresh);
        const auto turned = Animate(w, c.clickAfter);
        EXPECT_EQ(turned.size(), c.ticks);
        double farthest = 0;
        for (double left : turned) {
            EXPECT_EQ(std::fmod(left, 300.0), 0.0);
            farthest = std::max(farthest, left);
        }
        EXPECT_EQ(farthest, c.farthest);
        EXPECT_EQ(turned.back(), 0.0);
    }
}

TEST_F(WaitTest, PanelIsShadedInBandsOf100Twips) {
    wait.Load(0xC0C0C0);
    const app::Control& panel = at("Picture1");
    EXPECT_TRUE(panel.autoRedraw);
    ASSERT_GT(panel.drawing.size(), 102u);
    EXPECT_EQ(panel.drawing[101].x, 100.0);
    EXPECT_EQ(panel.drawing[101].colour, 0xC1C1C1u);
}

}  // namespace
