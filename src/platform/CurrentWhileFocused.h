// A list whose current row is there only while the list has the keyboard focus.
#pragma once

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QMetaObject>

namespace pim {

// Screen readers hear a view's current row as focused, wherever the focus is:
// here the row chosen stays selected while the focus is elsewhere, and becomes
// current again when the focus comes back (the first row when none is chosen).
template <typename View>
class CurrentWhileFocused : public View {
public:
    using View::View;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QItemSelectionModel* selection = this->selectionModel();
        const QModelIndexList chosen = selection->selectedIndexes();
        const QModelIndex row = chosen.isEmpty() ? this->model()->index(0, 0) : chosen.first();
        View::focusInEvent(event);
        // A click chooses its own row, or none under the rows.
        if (row.isValid() && event->reason() != Qt::MouseFocusReason)
            selection->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    }
    void focusOutEvent(QFocusEvent* event) override {
        View::focusOutEvent(event);
        this->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        View::currentChanged(current, previous);
        // Chosen by the program or a button: the row stays selected, not current.
        if (current.isValid() && !this->hasFocus())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!this->hasFocus())
                        this->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
                },
                Qt::QueuedConnection);
    }
};

} // namespace pim
