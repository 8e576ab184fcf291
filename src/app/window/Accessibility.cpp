#include "app/window/Accessibility.h"

#include "app/window/PictureButton.h"
#include "app/window/StatusStrip.h"
#include "common/UiText.h"

#include <QAccessibleWidget>
#include <algorithm>

namespace pim {

namespace {

// The name is kept beside the widget's own accessible name, which stays empty
// so that a label still reports each new text to the reader.
constexpr char kDisplayName[] = "pimDisplayName";

// Qt's own factory answers first for the classes it knows (QLabel): Pim's
// widgets are known by their own class names.
constexpr QLatin1StringView kDisplays[] = {QLatin1StringView("pim::DisplayLabel"),
                                           QLatin1StringView("pim::StatusStrip")};

class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(PictureButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = Button()->Pressed();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        // Later, as Qt's own buttons do: a dialog the click opens must not hold
        // the reader's call until it closes.
        if (action == pressAction())
            QMetaObject::invokeMethod(Button(), &PictureButton::Click, Qt::QueuedConnection);
        else
            QAccessibleWidget::doAction(action);
    }

private:
    PictureButton* Button() const { return static_cast<PictureButton*>(widget()); }
};

class DisplayAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return UiString("Accessibility", "%1：%2")
                .arg(widget()->property(kDisplayName).toString(), Shown());
        if (t == QAccessible::Value)
            return Shown();
        return QAccessibleWidget::text(t);
    }

private:
    QString Shown() const {
        if (const auto* label = qobject_cast<const QLabel*>(widget()))
            return label->text();
        if (const auto* strip = qobject_cast<const StatusStrip*>(widget()))
            return strip->Text();
        return {};
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("pim::PictureButton"))
        return new ButtonAccessible(static_cast<PictureButton*>(object));
    // The skinned window is a window to the reader too, not a panel.
    if (className == QLatin1String("pim::TMainForm"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    if (std::find(std::begin(kDisplays), std::end(kDisplays), className) == std::end(kDisplays))
        return nullptr;
    return new DisplayAccessible(static_cast<QWidget*>(object), qobject_cast<StatusStrip*>(object)
                                                                    ? QAccessible::StatusBar
                                                                    : QAccessible::StaticText);
}

} // namespace

void InstallAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void NameDisplay(QWidget* display, const QString& name) {
    display->setProperty(kDisplayName, name);
}

} // namespace pim
