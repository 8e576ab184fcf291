#include "app/MainForm.h"

#include "app/StatusTexts.h"
#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "settings/ProfileLocation.h"
#include "settings/SettingsFile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cstdio>

namespace pim {

TMainForm::TMainForm(const std::string& programDir, DialupPhonebook& dialup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), programDir_(programDir),
      dialup_(dialup) {
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::FormCreate() {
    setFixedSize(kMainClientWidth, kMainClientHeight);
    profilePath_ = pim::ProfilePath(programDir_);

    ScreenSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = {primary->size().width(), primary->size().height()};
    LoadSettings(profilePath_, dialup_, screen, Settings, Accounts);
    move(Settings.Left, Settings.Top);

    SetStatus(InitialStatusText(Settings));
}

void TMainForm::FormDestroy() {
    std::string error;
    if (SaveMainWindow(
            profilePath_,
            [this] {
                TSettings settings = Settings;
                settings.Left = pos().x();
                settings.Top = pos().y();
                return settings;
            }(),
            &error))
        return;
    std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
    // Nobody is there to answer a box when the session is ending.
    if (!terminating_)
        MessageBox(nullptr, error, mb::IconExclamation);
}

void TMainForm::SetStatus(const std::string& text) {
    statusText_ = text;
    setWindowTitle(QStringLiteral("Pim - ") + cp932::ToUnicode(text));
    update();
}

void TMainForm::Terminate() {
    terminating_ = true;
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!terminating_) {
        const bool wasOpen = DialogOpen;
        DialogOpen = true;
        if (Settings.SettingEndCheck &&
            MessageBox(this, texts::ConfirmExit(), mb::YesNo | mb::IconQuestion) == IDNO) {
            DialogOpen = wasOpen;
            event->ignore();
            return;
        }
    }
    // DialogOpen stays set, so nothing reacts to input while the program ends.
    DialogOpen = true;
    event->accept();
    QCoreApplication::quit();
}

void TMainForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xC0, 0xC4, 0xCC));
    const QRect strip(43, 30, 265, 12);
    painter.fillRect(strip, Qt::black);
    painter.setPen(QColor(0x00, 0xFF, 0x00));
    painter.drawText(strip.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     cp932::ToUnicode(statusText_));
}

} // namespace pim
