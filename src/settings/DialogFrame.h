// What every dialog of Pim shares: a fixed client area centred on the screen,
// its caption, the system menu and the dialog font.
#pragma once

#include <QDialog>
#include <QFont>

class QLineEdit;

namespace pim {

inline constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                Qt::WindowCloseButtonHint;

// "ＭＳ Ｐゴシック" 9 points, as 12 pixels: the dialogs have a fixed size, and
// their lines must fit whatever the screen's DPI says.
QFont DialogFont(bool bold = false);

// A password edit that shows every character as "*" (Qt's default is a bullet).
void ShowAsStars(QLineEdit* edit);

void FrameDialog(QDialog& dialog, const QString& caption, int clientWidth, int clientHeight);

} // namespace pim
