#include "platform/Sound.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>

namespace pim {

namespace {

using PlayWave = void (*)(const QString&);

// The player beside the program (a portable copy), else where it was installed,
// else where it was built. Nothing found: silence, as for a file that cannot play.
PlayWave Player() {
    const QStringList places{QCoreApplication::applicationDirPath() + QStringLiteral("/pim_sound"),
                             QStringLiteral(PIM_SOUND_INSTALLED), QStringLiteral(PIM_SOUND_BUILT)};
    for (const QString& place : places) {
        QLibrary library(place);
        if (auto play = reinterpret_cast<PlayWave>(library.resolve("PimPlayWave")))
            return play; // the library stays loaded for the program's life
    }
    return nullptr;
}

const PlayWave& LoadedPlayer() {
    static const PlayWave play = Player();
    return play;
}

} // namespace

bool WavePlayerFound() {
    return LoadedPlayer() != nullptr;
}

void PlayArrivalSound(int kind, const QString& waveFile) {
    if (kind == 1) {
        QApplication::beep();
        return;
    }
    if (kind != 2 || !QFileInfo(waveFile).isFile())
        return;
    if (const PlayWave play = LoadedPlayer())
        play(waveFile);
}

} // namespace pim
