// The help page, Pim.html or in English Pim.en.html, opened in the desktop's
// browser; a help-context number N of a control is the anchor "#help-N".
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <string>

class QDialog;
class QObject;
class QWidget;

namespace pim {

// The page in the language of the texts, beside the program (a portable copy),
// else where it was installed; with a context above 0 at its anchor.
QUrl HelpUrl(int context = 0);
// The page of the current language in the first of the two folders that has it;
// without an English page, the Japanese one. When neither folder has a page, the
// one that should be installed.
QString HelpPage(const QString& programFolder, const QString& installedFolder);
// Opens the page in the desktop's browser. When nothing could open it, which
// may be known only later, calls `failed`, unless `owner` is gone by then.
void OpenHelp(int context, QObject* owner, std::function<void()> failed);
// Opens `url` in the desktop's browser; `failed` runs, while `owner` lives,
// when nothing could show it (at once, or once xdg-open gave up).
void OpenInBrowser(const QUrl& url, QObject* owner, std::function<void()> failed);
// What a message box says when the page cannot be opened: that, and where it is (CP932).
std::string HelpNotOpenedText();

void SetHelpContext(QWidget* control, int context);
// The context of `control` or of the nearest parent that has one; 0 when none.
int HelpContext(const QWidget* control);

// F1 and the title bar's "?" button of `dialog` open the help of the control
// that has the keyboard focus.
void EnableContextHelp(QDialog* dialog);

} // namespace pim
