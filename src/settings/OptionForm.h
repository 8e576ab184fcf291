// The options dialog: four pages of settings and the account list. It edits a
// working copy; Apply (and OK when Apply is enabled) validates, copies into
// Settings and Accounts, writes Pim.INI and applies the changes at once.
// Controls carry their design names as object names.
#pragma once

#include "settings/DialupPhonebook.h"
#include "settings/OptionHost.h"
#include "settings/Settings.h"

#include <QDialog>
#include <string>

class QTabWidget;
class QWidget;

namespace pim {

class TOptionForm : public QDialog {
    Q_OBJECT
public:
    // `profilePath` is the Pim.INI that Apply writes.
    TOptionForm(OptionHost& host, DialupPhonebook& phonebook, const std::string& profilePath,
                QWidget* parent = nullptr);
    ~TOptionForm() override;

    QTabWidget* tcOption = nullptr;
    QWidget* tsAccount = nullptr;
    QWidget* tsCustomize = nullptr;
    QWidget* tsSchedule = nullptr;
    QWidget* tsFPN = nullptr;

    TAccounts EditAccounts;
    bool AccountsChanged = false;
    bool ApplyFailed = false;

public slots:
    void ApplySettings();
};

} // namespace pim
