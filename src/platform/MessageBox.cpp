#include "platform/MessageBox.h"

#include "common/Cp932.h"
#include "common/UiText.h"

#include <QMessageBox>
#include <QPushButton>

namespace pim {

namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & 0xF0) {
    case mb::IconQuestion:
        return QMessageBox::Question;
    case mb::IconExclamation:
        return QMessageBox::Warning;
    case mb::IconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}

int MessageBox(QWidget* parent, std::string_view text, unsigned flags) {
    if (Handler())
        return Handler()(text, flags);
    // The texts break their lines with CR alone, as the classic boxes did.
    QString shown = cp932::ToUnicode(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(IconOf(flags), QStringLiteral("Pim"), shown, QMessageBox::NoButton, parent);
    if ((flags & 0xF) == mb::YesNo) {
        QPushButton* yes = box.addButton(UiString("MessageBox", "はい(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(UiString("MessageBox", "いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton((flags & mb::DefButton2) ? no : yes);
        box.exec();
        // Closing the box any other way than with No counts as Yes.
        return box.clickedButton() == no ? IDNO : IDYES;
    }
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
    return IDOK;
}

} // namespace pim
