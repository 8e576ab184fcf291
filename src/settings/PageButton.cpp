#include "settings/PageButton.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace pim {

PageButton::PageButton(QWidget* parent) : QToolButton(parent) {
    // Not auto-exclusive: Qt would count every radio button of the page's
    // panels into the row and take them out of the Tab order.
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::toggled, this,
            [this](bool chosen) { setFocusPolicy(chosen ? Qt::TabFocus : Qt::NoFocus); });
}

void PageButton::keyPressEvent(QKeyEvent* event) {
    const QList<QAbstractButton*> row =
        group() ? group()->buttons() : QList<QAbstractButton*>{this};
    const qsizetype at = row.indexOf(this);
    qsizetype to = at;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        to = at - 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        to = at + 1;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = row.size() - 1;
        break;
    default:
        QToolButton::keyPressEvent(event);
        return;
    }
    // At either end the row stops, as a tab bar does.
    if (to < 0 || to >= row.size() || to == at)
        return;
    QAbstractButton* next = row[to];
    // Focused first: a page button chosen with the focus on it keeps the focus.
    next->setFocus(Qt::TabFocusReason);
    next->click();
}

void PageButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // Checked only for the screen reader: the style's pressed look would say
    // something else than the dialog's red caption.
    option.state &= ~QStyle::State_On;
    if (!isDown())
        option.state = (option.state & ~QStyle::State_Sunken) | QStyle::State_Raised;
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

} // namespace pim
