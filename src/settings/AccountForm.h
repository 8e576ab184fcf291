// The account editor: enters or changes one mail account. The caller fills the
// edits (Change) or leaves them empty (Add), runs exec() and, when Result is 0,
// reads the edits: it trims the name, host and user ID itself.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace pim {

class TAccountForm : public QDialog {
    Q_OBJECT
public:
    explicit TAccountForm(QWidget* parent = nullptr);

    QLineEdit* edName = nullptr;
    QLineEdit* edHostName = nullptr;
    QLineEdit* edUserID = nullptr;
    QLineEdit* edPassword = nullptr; // shows "*" for every character
    QPushButton* btOk = nullptr;     // also pressed by Enter in the edits
    QPushButton* btCancel = nullptr;

    // 0 accepted (after validation), 1 cancelled or closed.
    int Result = 1;

public slots:
    void btOkClick();
    void btCancelClick();
};

} // namespace pim
