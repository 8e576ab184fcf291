// The account editor: enters or changes one mail account. The caller fills the
// edits (Change) or leaves them empty (Add), runs exec() and, when Result is 0,
// reads the edits: it trims the name, host and user ID itself. What checks
// learnt of the server's TLS shows under the edits, with a button that forgets
// it after asking; the caller reads Forgotten.
#pragma once

#include "settings/Settings.h"

#include <QDialog>
#include <QStringList>

class QLabel;
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
    // Shown only when something was learnt.
    QLabel* laLearnt = nullptr;
    QPushButton* btForget = nullptr;

    // 0 accepted (after validation), 1 cancelled or closed.
    int Result = 1;
    // The user chose to forget what was learnt.
    bool Forgotten = false;

    // Shows the TLS fields of `account`: TlsRequired, TrustedCertificate and
    // the dates they were learnt.
    void ShowLearnt(const TAccount& account);

public slots:
    void btOkClick();
    void btCancelClick();
    void btForgetClick();

private:
    QStringList forgotten_; // what btForget forgets, as its question names it
};

} // namespace pim
