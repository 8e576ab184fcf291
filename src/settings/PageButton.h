// A page button of the options dialog: one of a row that switches the panels
// beneath it, as the tabs of a tab bar do, and a tab to a screen reader. The row
// is a button group: the chosen button is checked, which the dialog shows by its
// caption's colour, and it is the row's only Tab stop; the arrow keys move along
// the row and choose as they go.
#pragma once

#include <QToolButton>

namespace pim {

class PageButton : public QToolButton {
    Q_OBJECT
public:
    explicit PageButton(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace pim
