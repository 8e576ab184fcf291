#include "platform/Sound.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace pim {

void PlayArrivalSound(int kind, const QString& waveFile) {
    if (kind == 1) {
        QApplication::beep();
        return;
    }
    if (kind != 2 || !QFileInfo(waveFile).isFile())
        return;
    // One effect for the program's life: playing is asynchronous.
    static QSoundEffect* effect = new QSoundEffect(qApp);
    effect->setSource(QUrl::fromLocalFile(waveFile));
    effect->play();
}

} // namespace pim
