#include "app/WaitEgg.h"

namespace app::egg {

State Click(State s) {
    if (s.running) {
        s.toRight = !s.toRight;
    } else {
        s.toRight = true;
        s.ticking = true;
        s.running = true;
    }
    return s;
}

State Tick(State s) {
    s.lineShown = true;
    if (s.toRight) {
        if (s.left >= kFarEnd) {
            s.left = kFarEnd;
            s.toRight = false;
        } else {
            s.left += kStep;
        }
    } else if (s.left > 0) {
        s.left -= kStep;
    } else {
        // Back home: the run is over until the next click.
        s.left = 0;
        s.running = false;
        s.toRight = true;
        s.ticking = false;
        s.lineShown = false;
    }
    return s;
}

}  // namespace app::egg
