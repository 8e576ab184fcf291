// The main window from the keyboard and through a screen reader.
#include "app/MainForm.h"
#include "app/window/Accessibility.h"
#include "app/window/PictureButton.h"
#include "app/window/StatusStrip.h"
#include "common/UiText.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>
#include <QTreeWidget>

namespace pim {

void TMainForm::SetUpAccess() {
    InstallAccessibleFactory();
    const std::pair<QWidget*, QString> names[] = {
        {pbCheck_, UiString("MainForm", "メールチェック")},
        {imOption_, UiString("MainForm", "環境設定")},
        {imInformation_, UiString("MainForm", "メールボックス情報の表示／非表示")},
        {imMailer_, UiString("MainForm", "メーラを起動")},
        {tvAccount_, UiString("MainForm", "アカウントリスト")},
        {tvMail_, UiString("MainForm", "メールリスト")},
        {sbMinimum_, UiString("MainForm", "最小化")},
        {spClose_, UiString("MainForm", "閉じる")}};
    // Tab walks the buttons, then the trees, then the caption's buttons.
    QWidget* previous = nullptr;
    for (const auto& [widget, name] : names) {
        widget->setAccessibleName(name);
        // A reader reads the hidden header as the column's name.
        if (auto* tree = qobject_cast<QTreeWidget*>(widget))
            tree->setHeaderLabel(name);
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
    NameDisplay(strip_, UiString("MainForm", "状態"));
    NameDisplay(laMailCount_, UiString("MainForm", "着信メール数"));
    NameDisplay(laDate_, UiString("MainForm", "最終チェック日時"));

    // Keys for the system menu that window managers leave alone, unlike Alt+Space.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)})
        connect(new QShortcut(key, this), &QShortcut::activated, this,
                &TMainForm::PopUpSystemMenuAtFocus);
    // F1 as in the dialogs: the page at the focused control's help, else at its top.
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, [this] {
        OpenHelp(HelpContext(focusWidget()), this,
                 [this] { MessageBoxShown(HelpNotOpenedText(), mb::IconExclamation); });
    });
}

void TMainForm::PopUpSystemMenuAtFocus() {
    QPoint at(4, 23); // where Alt+Space opens it, below the window icon
    QWidget* focus = focusWidget();
    if (focus && focus != this && focus->isVisible()) {
        QRect area = focus->rect();
        // In a tree, at its current line.
        if (const auto* view = qobject_cast<QAbstractItemView*>(focus);
            view && view->currentIndex().isValid()) {
            const QRect line = view->visualRect(view->currentIndex()) & view->viewport()->rect();
            if (!line.isEmpty())
                area = QRect(view->viewport()->mapTo(focus, line.topLeft()), line.size());
        }
        at = focus->mapTo(this, area.bottomLeft() + QPoint(0, 1));
    }
    KeepPlace();
    sysMenu->popup(mapToGlobal(at));
}

} // namespace pim
