#include "settings/PageButton.h"

#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QPointer>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTabBar>

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

// A tab of the dialog's top row. Qt's own calls the current tab focused even
// after the focus has left the row; a reader would keep announcing it.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < bar_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return isValid() ? parent()->window() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(bar_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? bar_->tabText(index_).remove(u'&') : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect tab = bar_->tabRect(index_);
        return QRect(bar_->mapToGlobal(tab.topLeft()), tab.size());
    }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override {
        // A reader may still ask a tab whose bar is gone.
        if (!isValid())
            return {};
        QAccessible::State state = parent()->state();
        state.selectable = true;
        state.selected = index_ == bar_->currentIndex();
        state.focused = state.selected && bar_->hasFocus();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction() && isValid())
            bar_->setCurrentIndex(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<QTabBar> bar_;
    int index_;
};

class TabListAccessible : public QAccessibleWidget {
public:
    explicit TabListAccessible(QTabBar* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    ~TabListAccessible() override {
        for (QAccessibleInterface* tab : tabs_)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(tab));
    }

    int childCount() const override { return Bar()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= Bar()->count())
            return nullptr;
        while (tabs_.size() <= index) {
            tabs_.push_back(new TabAccessible(Bar(), int(tabs_.size())));
            QAccessible::registerAccessibleInterface(tabs_.back());
        }
        return tabs_[index];
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return int(tabs_.indexOf(const_cast<QAccessibleInterface*>(child)));
    }
    QAccessibleInterface* focusChild() const override {
        return Bar()->hasFocus() ? child(Bar()->currentIndex()) : nullptr;
    }

private:
    QTabBar* Bar() const { return static_cast<QTabBar*>(widget()); }
    mutable QList<QAccessibleInterface*> tabs_;
};

QAccessibleInterface* PageTabFactory(const QString& className, QObject* object) {
    if (!object)
        return nullptr;
    if (className == QLatin1String("QTabBar"))
        return new TabListAccessible(static_cast<QTabBar*>(object));
    if (className != QLatin1String("pim::PageButton"))
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
