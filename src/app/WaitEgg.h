#pragma once

// The cleanup window's little animation: a copy of the icon slides right to
// the far end of the window and back, one 300-twip step per tick.
namespace app::egg {

inline constexpr double kStep = 300;
inline constexpr double kFarEnd = 5100;

struct State {
    double left = 0;         // the sliding icon's left edge, twips
    bool running = false;    // EggRunning
    bool toRight = false;    // EggToRight
    bool ticking = false;    // the animation timer runs
    bool lineShown = false;  // the track line under the icon
};

// A click on the icon: starts a run from rest, or turns a running one back.
State Click(State s);

// One tick of the animation timer.
State Tick(State s);

}  // namespace app::egg
