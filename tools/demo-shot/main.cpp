// The demo without a display: runs Pim's window on the offscreen platform from a
// folder holding its Pim.INI, waits for the start-up check, saves a picture of
// the window and prints what the check found.
//   demo-shot FOLDER OUT.png
#include "app/MainForm.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "dialup/TVeltaRAS.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTimer>
#include <cstdio>

namespace {

std::string Utf8(const std::string& cp932Text) {
    return pim::cp932::ToUtf8(cp932Text);
}

void PrintFindings(const pim::Results& results) {
    for (const pim::AccountResult& account : results) {
        if (account.Name.empty())
            continue;
        std::printf("%s: ", Utf8(account.Name).c_str());
        if (account.Count < -1) {
            std::printf("error %d (see the window)\n", account.Count);
            continue;
        }
        if (account.Count == -1) {
            std::printf("%s messages\n", account.Subjects[0].c_str());
            continue;
        }
        std::printf("%d messages\n", account.Count);
        for (int i = 0; i < account.Count && i < pim::kMaxMails; ++i)
            std::printf("  %s | %s | %s\n", Utf8(account.Subjects[i]).c_str(),
                        Utf8(account.Senders[i]).c_str(), Utf8(account.Dates[i]).c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    pim::SetUiLanguage(pim::LanguageFor(QLocale::system())); // as Pim chooses
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo-shot FOLDER OUT.png\n");
        return 2;
    }
    std::string folder = QFile::encodeName(QString::fromLocal8Bit(argv[1])).toStdString();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    const QString out = QString::fromLocal8Bit(argv[2]);

    pim::TVeltaRAS dialup;
    pim::TMainForm form(folder, dialup);
    form.StartUp();

    // The check runs from the first show; after it the window may still unfold.
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    int rc = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool over = form.Run().CheckIndex() == -1 && !form.ShapePending();
        if (!over && clock.elapsed() < 60000)
            return;
        poll.stop();
        if (!over) {
            std::fprintf(stderr, "demo-shot: the check did not end within a minute\n");
            rc = 1;
        }
        if (!form.Screenshot().save(out)) {
            std::fprintf(stderr, "demo-shot: cannot write %s\n", argv[2]);
            rc = 1;
        } else {
            std::printf("Window after the check: %s\n", argv[2]);
        }
        std::printf("Status: %s\n", Utf8(form.StatusText()).c_str());
        PrintFindings(form.Run().ShownResults());
        form.Terminate();
    });
    poll.start(100);
    app.exec();
    return rc;
}
