// The about box: the program's name, its icon and version.
#pragma once

#include <QDialog>

class QLabel;

namespace pim {

class TVersionForm : public QDialog {
    Q_OBJECT
public:
    explicit TVersionForm(QWidget* parent = nullptr);

    QLabel* laTitle = nullptr;
};

} // namespace pim
