// The about box: the program's name, its icon and version.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;

namespace pim {

class TVersionForm : public QDialog {
    Q_OBJECT
public:
    explicit TVersionForm(QWidget* parent = nullptr);

    // "Lucida Handwriting" for the title when it is among `installedFamilies`
    // (exactly so named), else Arial bold italic. The box calls it on creation
    // with the system's fonts.
    void PickTitleFont(const QStringList& installedFamilies);

    QWidget* pbLogo = nullptr;
    QLabel* laTitle = nullptr;
    QPushButton* btClose = nullptr;
};

} // namespace pim
