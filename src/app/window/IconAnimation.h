// The check button's and tray icon's frames: 0 idle, 1..7 busy (a loop), 8..12
// mail waiting (a swing).
#pragma once

#include <cstdint>

namespace pim {

struct IconAnimation {
    enum Mode : uint8_t { Busy = 0, Rising = 1, Falling = 2 };
    uint8_t AnimMode = Busy;
    uint8_t AnimFrame = 0;

    // The frame after this one.
    void Advance() {
        switch (AnimMode) {
        case Busy:
            AnimFrame = AnimFrame >= 7 ? 0 : AnimFrame + 1;
            break;
        case Rising:
            if (++AnimFrame >= 12)
                AnimMode = Falling;
            break;
        default:
            if (--AnimFrame < 9)
                AnimMode = Rising;
            break;
        }
    }
};

} // namespace pim
