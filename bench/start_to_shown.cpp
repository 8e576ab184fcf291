// How long Pim takes from the start of main() to its window painted, the
// way the program itself starts (settings read, skin loaded, components made):
//   start_to_shown FOLDER   (FOLDER holds the Pim.INI to start with)
// Run it under /usr/bin/time to add the loading of the program and its libraries.
#include "app/MainForm.h"
#include "dialup/TVeltaRAS.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>

namespace {

// Notes the first paint of the window.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QElapsedTimer& clock) : clock_(clock) {}
    qint64 at = -1;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at < 0) {
            at = clock_.nsecsElapsed();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    QElapsedTimer& clock_;
};

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    if (argc != 2) {
        std::fprintf(stderr, "usage: start_to_shown FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::string folder = QFile::encodeName(QString::fromLocal8Bit(argv[1])).toStdString() + "/";
    pim::TVeltaRAS dialup;
    pim::TMainForm form(folder, dialup);
    FirstPaint paint(clock);
    form.installEventFilter(&paint);
    form.StartUp();
    app.exec();
    std::printf("main() to the window painted: %.1f ms\n", paint.at / 1e6);
    form.Terminate();
    return paint.at < 0 ? 1 : 0;
}
