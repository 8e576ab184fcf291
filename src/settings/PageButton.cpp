#include "settings/PageButton.h"

#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace pim {

namespace {

// A reader hears a tab of a tab list, selected or not (Qt would say check box).
class PageTabAccessible : public QAccessibleWidget {
public:
    explicit PageTabAccessible(PageButton* button)
        : QAccessibleWidget(button, QAccessible::PageTab) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Button()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = Button()->isChecked();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            QMetaObject::invokeMethod(Button(), &QAbstractButton::click, Qt::QueuedConnection);
        else
            QAccessibleWidget::doAction(action);
    }

private:
    PageButton* Button() const { return static_cast<PageButton*>(widget()); }
};

QAccessibleInterface* PageTabFactory(const QString& className, QObject* object) {
    if (className != QLatin1String("pim::PageButton") || !object)
        return nullptr;
    return new PageTabAccessible(static_cast<PageButton*>(object));
}

} // namespace

PageButton::PageButton(QWidget* parent) : QToolButton(parent) {
    static const bool factory = [] {
        QAccessible::installFactory(PageTabFactory);
        return true;
    }();
    (void)factory;
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
    // The style's pressed look would say something else than the red caption.
    option.state &= ~QStyle::State_On;
    if (!isDown())
        option.state = (option.state & ~QStyle::State_Sunken) | QStyle::State_Raised;
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

} // namespace pim
