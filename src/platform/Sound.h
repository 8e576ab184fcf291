#pragma once

#include <QString>

namespace pim {

// The arrival sound: kind 1 the desktop's beep, kind 2 the wave file (nothing at
// all when it cannot be played: no default sound instead), anything else silence.
void PlayArrivalSound(int kind, const QString& waveFile);

// Whether the wave player module can be found and loaded.
bool WavePlayerFound();

} // namespace pim
