#include "app/MainForm.h"
#include "common/Random.h"
#include "dialup/TVeltaRAS.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QFile>
#include <cstdlib>

int main(int argc, char** argv) {
    pim::TerminationSignals::HoldUntilWatched();
    pim::SingleInstance instance;
    if (!instance.Acquire())
        return 0; // another Pim runs: end silently

    // A resident program started without a display (a service, a test) still runs.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    pim::SeedRandom();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pim"));
    // The window ends the program itself; hiding it to the tray must not.
    QApplication::setQuitOnLastWindowClosed(false);

    const std::string programDir =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/";
    pim::TVeltaRAS dialup;
    pim::TerminationSignals termination;
    pim::TMainForm form(programDir, dialup);
    QObject::connect(&termination, &pim::TerminationSignals::requested, &form,
                     &pim::TMainForm::Terminate);
    form.StartUp();
    return app.exec();
}
