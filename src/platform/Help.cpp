#include "platform/Help.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QFileInfo>
#include <QProcess>
#include <QShortcut>
#include <QStandardPaths>
#include <QStringList>
#include <QWhatsThis>

namespace pim {

namespace {

const char* const kContextProperty = "helpContext";

void OpenFocusedHelp(QDialog* dialog) {
    const QWidget* focused = dialog->focusWidget();
    OpenHelp(HelpContext(focused ? focused : dialog), dialog,
             [dialog] { MessageBox(dialog, HelpNotOpenedText(), mb::IconExclamation); });
}

// The "?" button starts the what's-this mode; Pim answers it with the help page.
class HelpButtonFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnterWhatsThisMode) {
            QWhatsThis::leaveWhatsThisMode();
            OpenFocusedHelp(static_cast<QDialog*>(watched));
            return true;
        }
        return false;
    }
};

} // namespace

QString HelpPage(const QString& programFolder, const QString& installedFolder) {
    QStringList names{QStringLiteral("Pim.html")};
    if (CurrentUiLanguage() == UiLanguage::English)
        names.prepend(QStringLiteral("Pim.en.html"));
    for (const QString& name : names) {
        for (const QString& folder : {programFolder, installedFolder}) {
            const QString page = folder + u'/' + name;
            if (QFileInfo(page).isFile())
                return page;
        }
    }
    return installedFolder + u'/' + names.first();
}

QUrl HelpUrl(int context) {
    QUrl url = QUrl::fromLocalFile(HelpPage(QCoreApplication::applicationDirPath(),
                                            QFileInfo(QStringLiteral(PIM_HELP_INSTALLED)).path()));
    if (context > 0)
        url.setFragment(QStringLiteral("help-%1").arg(context));
    return url;
}

void OpenHelp(int context, QObject* owner, std::function<void()> failed) {
    OpenInBrowser(HelpUrl(context), owner, std::move(failed));
}

void OpenInBrowser(const QUrl& url, QObject* owner, std::function<void()> failed) {
    // Qt would hand the page to xdg-open too, but call it opened as soon as
    // xdg-open starts: on a desktop with nothing to show pages, xdg-open fails
    // only then. Its messages go to stderr, as Qt's would.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            failed();
        return;
    }
    // Not the owner's child: closing a dialog must not end a browser's start.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, owner,
                     [failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0)
                             failed();
                     });
    QObject::connect(process, &QProcess::errorOccurred, owner,
                     [failed](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             failed();
                     });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process](QProcess::ProcessError e) {
                         if (e == QProcess::FailedToStart)
                             process->deleteLater();
                     });
    process->start(opener, {url.toString(QUrl::FullyEncoded)});
}

std::string HelpNotOpenedText() {
    return cp932::FromUnicode(
        UiString("Help", "ヘルプのページを開くことができませんでした。\r\rページの場所:\r%1")
            .arg(HelpUrl().toLocalFile()));
}

void SetHelpContext(QWidget* control, int context) {
    control->setProperty(kContextProperty, context);
}

int HelpContext(const QWidget* control) {
    for (; control; control = control->parentWidget()) {
        const QVariant context = control->property(kContextProperty);
        if (context.isValid())
            return context.toInt();
    }
    return 0;
}

void EnableContextHelp(QDialog* dialog) {
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(f1, &QShortcut::activated, dialog, [dialog] { OpenFocusedHelp(dialog); });
    dialog->installEventFilter(new HelpButtonFilter(dialog));
}

} // namespace pim
