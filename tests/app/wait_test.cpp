// The cleanup window over the in-memory platform: the deletion of the
// finished updater, how every road of it ends, and the icon's animation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "app/Wait.h"
#include "app/WaitTexts.h"

namespace {

constexpr const char* kUpdater = "D:\\Update\\Atualizador.exe";
constexpr const char* kImage = "MZ the updater";  // the cleanup copy's own bytes
constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";

// Faults: a file in use for good waited for forever, a write-protected one
// retried for minutes, a missing one reported as not deleted, whatever is
// at the updater's path deleted unproven; Alt+F4 ending the cleanup before
// "Pronto", the window's text not its label's.
TEST(WaitTest, EveryRoadEndsAtTheRestartQuestion) {
    constexpr bool fake::File::*kLocked = &fake::File::locked;
    const struct {
        const char* name;
        bool present;
        bool fake::File::*attribute;
        int ticks;            // until the restart question
        std::string told;     // the box before it, if any
        const char* atTick4;  // what is at the path from the fourth tick
    } cases[] = {
        {"free", true, nullptr, 1, "", nullptr},
        {"in use for three ticks", true, kLocked, 4, "", kImage},
        {"another file put there while in use", true, kLocked, 4,
         "O arquivo D:\\Update\\Atualizador.exe não é o atualizador e foi deixado como estava.",
         "MZ another program"},
        {"missing file", false, nullptr, 1, "", nullptr},
        {"write-protected disc", true, &fake::File::readOnlyMedia, 1,
         "Não foi possível remover o atualizador (D:\\Update\\Atualizador.exe): a mídia está "
         "protegida contra gravação (erro 19).\r\n\r\nEsse arquivo pode ser apagado normalmente "
         "mais tarde.",
         nullptr},
        {"in use for good", true, kLocked, app::Wait::kAttempts,
         app::wait_texts::NotRemovedText(kUpdater, 32), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem s;
        app::Wait w(s, s);
        if (c.present) s.putFile(kUpdater, kImage, fake::With(c.attribute));
        s.onMessage = [&](const fake::Message& m) {
            EXPECT_EQ(m.style, m.title == "Reinicialização" ? 65 : 48);
            EXPECT_EQ(w.form()["Label1"].caption,
                      m.title == "Reinicialização" ? "Pronto" : kWaiting);
            EXPECT_EQ(w.form()["Wait"].caption, w.form()["Label1"].caption) << "window's text";
        };
        w.ComeçarATentar(kUpdater);
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
        ASSERT_EQ(s.messages.size(), c.told.empty() ? 1u : 2u);
        if (!c.told.empty()) {
            EXPECT_EQ(s.messages[0].text, c.told);
        }
        EXPECT_EQ(s.messages.back().title, "Reinicialização");
        EXPECT_EQ(s.exists(kUpdater), !c.told.empty());
    }
}

// Faults: a restart, accepted or refused, leaving the window open; a close
// request once "Pronto" shows not ending it.
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
}

// Runs the animation until its timer stops, clicking the icon again after
// the given ticks; Image2's left after every tick.
std::vector<double> Animate(app::Wait& w, const std::set<int>& clickAfter = {}) {
    std::vector<double> lefts;
    w.Image1Click();
    for (int tick = 1; w.form()["egg"].enabled && tick < 200; ++tick) {
        w.EggTick();
        lefts.push_back(w.form()["Image2"].left);
        if (clickAfter.count(tick)) w.Image1Click();
    }
    return lefts;
}

// Fault: the icon sliding one step too far. Out to the far end in steps
// of 300 twips and back home; clicks meanwhile turn it round, and one from
// rest starts a whole new run.
TEST(WaitTest, IconSlidesOutAndBackInStepsOf300AndClicksTurnItRound) {
    const struct {
        std::set<int> clickAfter;
        double farthest;
        std::size_t ticks;
    } runs[] = {{{}, 5100, 36}, {{5}, 1500, 11}, {{3, 4}, 5100, 38}};
    for (const auto& c : runs) {
        fake::FakeSystem sys;
        app::Wait w(sys, sys);
        const auto lefts = Animate(w, c.clickAfter);
        EXPECT_EQ(lefts.size(), c.ticks);
        for (double left : lefts) EXPECT_EQ(std::fmod(left, 300.0), 0.0);
        EXPECT_EQ(*std::max_element(lefts.begin(), lefts.end()), c.farthest);
        EXPECT_EQ(lefts.back(), 0.0);
        EXPECT_FALSE(w.EggRunning());
        EXPECT_EQ(Animate(w).size(), 36u);
    }
}

}  // namespace
