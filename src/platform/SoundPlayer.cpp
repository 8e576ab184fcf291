// The wave-file player, loaded only when Pim first plays a file: the multimedia
// libraries and their sound-server clients cost a few megabytes of a resident
// program that most of the time plays nothing.
#include <QCoreApplication>
#include <QSoundEffect>
#include <QString>
#include <QUrl>

extern "C" Q_DECL_EXPORT void PimPlayWave(const QString& file) {
    // One effect for the program's life: playing is asynchronous.
    static QSoundEffect* effect = new QSoundEffect(qApp);
    effect->setSource(QUrl::fromLocalFile(file));
    effect->play();
}
