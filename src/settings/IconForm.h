// The mail program's icon picker: lists every icon of the program and returns
// the number of the one picked.
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace pim {

class TIconForm : public QDialog {
    Q_OBJECT
public:
    explicit TIconForm(QWidget* parent = nullptr);

    // One item per icon of the program (platform/ProgramIcons), item i showing icon i.
    void Fill(const QString& programPath);

    QListWidget* lvIcon = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

    // The picked icon's number; -1 when nothing was picked.
    int Result = -1;

public slots:
    void btOkClick();
    void btCancelClick();
};

} // namespace pim
