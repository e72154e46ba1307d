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
// The cleanup copy's own bytes, which it was copied from.
constexpr const char* kImage = "MZ the updater";
constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";

fake::File With(bool fake::File::*attribute) {
    fake::File f;
    f.*attribute = true;
    return f;
}

// Every road ends at "Pronto" and the restart question. The updater's
// process still holding its file is waited for, silently, and the file
// deleted at the first tick after; what waiting cannot cure is told (which
// file, the system's reason and number) instead of being tried for ever;
// a read-only updater is made writable first. A file at the path that is
// not the updater (put there while the cleanup waited, through a link in
// the folder's place, say) is left as it is, and said to be.
TEST(WaitTest, EveryRoadEndsAtTheRestartQuestion) {
    using app::wait_texts::NotRemovedText;
    using Arrange = void (*)(fake::FakeSystem&);
    const struct {
        const char* name;
        const char* path;
        Arrange arrange;
        int ticks;            // until the restart question
        std::string told;     // the box before it, if any
        const char* atTick4;  // what is at the path from the fourth tick
    } cases[] = {
        {"free", kUpdater, [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage); }, 1, "",
         nullptr},
        {"in use for three ticks", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage, With(&fake::File::locked)); }, 4, "",
         kImage},
        {"another file put there while in use", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage, With(&fake::File::locked)); }, 4,
         app::wait_texts::NotTheUpdaterText(kUpdater), "MZ another program"},
        {"read-only", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage, With(&fake::File::readOnly)); }, 1,
         "", nullptr},
        {"missing file", kUpdater, [](fake::FakeSystem&) {}, 1, "", nullptr},
        {"missing folder", "Z:\\gone\\x.exe", [](fake::FakeSystem&) {}, 1, "", nullptr},
        {"empty path", "", [](fake::FakeSystem&) {}, 1, "", nullptr},
        {"write-protected disc", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage, With(&fake::File::readOnlyMedia)); },
         1, NotRemovedText(kUpdater, 19), nullptr},
        // Refused although nothing holds it.
        {"access denied", kUpdater, [](fake::FakeSystem& s) { s.putFolder(kUpdater); }, 1,
         NotRemovedText(kUpdater, 5), nullptr},
        {"in use for good", kUpdater,
         [](fake::FakeSystem& s) { s.putFile(kUpdater, kImage, With(&fake::File::locked)); },
         app::Wait::kAttempts, NotRemovedText(kUpdater, 32), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem s;
        app::Wait w(s, s);
        c.arrange(s);
        bool timerWhileBoxOpen = true;
        s.onMessage = [&](const fake::Message& m) {
            timerWhileBoxOpen = w.form()["Timer1"].enabled;
            EXPECT_EQ(w.form()["Label1"].caption,
                      m.title == "Reinicialização" ? "Pronto" : kWaiting);
            EXPECT_EQ(w.form()["Wait"].caption, w.form()["Label1"].caption) << "window's text";
        };
        w.ComeçarATentar(c.path);
        s.answer(platform::Cancel);
        int ticks = 0;
        while (!s.ended && ticks < 1000) {
            EXPECT_EQ(w.form()["Label1"].caption, kWaiting);
            EXPECT_TRUE(s.messages.empty());
            w.CloseRequest();  // Alt+F4 abandons no deletion under way
            // The updater's process ends after three ticks.
            if (++ticks == 4 && c.atTick4) s.putFile(kUpdater, c.atTick4);
            try {
                w.Timer1Tick();
            } catch (const fake::ProgramEnded&) {
            }
        }
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_FALSE(timerWhileBoxOpen);
        ASSERT_EQ(s.messages.size(), c.told.empty() ? 1u : 2u);
        if (!c.told.empty()) {
            EXPECT_EQ(s.messages[0].text, c.told);
        }
        EXPECT_EQ(s.messages.back().title, "Reinicialização");
        EXPECT_EQ(s.exists(c.path), !c.told.empty());
    }
}

// Only OK asks for the restart, and the window ends whatever becomes of it:
// the system answers once the shutdown starts, and a program that will not
// close can still call it off, which this one never hears of. A close
// request once "Pronto" shows ends it too. An error after the deletion ends
// the tick.
TEST(WaitTest, TheAnswerDecidesTheRestart) {
    for (const auto& [answer, accepted] :
         {std::pair{platform::Ok, true}, {platform::Ok, false}, {platform::Cancel, true}}) {
        fake::FakeSystem s;
        app::Wait w(s, s);
        s.rebootAccepted = accepted;
        s.answer(answer);
        w.ComeçarATentar(kUpdater);
        EXPECT_THROW(w.Timer1Tick(), fake::ProgramEnded);
        EXPECT_EQ(s.reboots, answer == platform::Ok ? 1 : 0);
        EXPECT_THROW(w.CloseRequest(), fake::ProgramEnded);
    }
    fake::FakeSystem s;
    app::Wait w(s, s);
    s.answer(platform::Ok);
    s.onMessage = [](const fake::Message&) { throw std::runtime_error("box failed"); };
    w.ComeçarATentar(kUpdater);
    EXPECT_NO_THROW(w.Timer1Tick());
    EXPECT_FALSE(w.form()["Timer1"].enabled);
    EXPECT_EQ(s.reboots, 0);
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
TEST(WaitTest, IconSlidesOutAndBackInStepsOf300AndClicksTurnItRound) {
    fake::FakeSystem sys;
    app::Wait wait(sys, sys);
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

TEST(WaitTest, PanelIsShadedInBandsOf100Twips) {
    fake::FakeSystem sys;
    app::Wait wait(sys, sys);
    wait.Load(0xC0C0C0);
    const app::Control& panel = wait.form()["Picture1"];
    EXPECT_TRUE(panel.autoRedraw);
    ASSERT_GT(panel.drawing.size(), 102u);
    EXPECT_EQ(panel.drawing[101].x, 100.0);
    EXPECT_EQ(panel.drawing[101].colour, 0xC1C1C1u);
}

}  // namespace
