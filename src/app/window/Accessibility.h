// What a screen reader learns of the skinned window's own widgets: a picture
// button is a button it can press, and the count, the date and the status strip
// read as their name followed by what they show.
#pragma once

#include <QLabel>

namespace pim {

// A label that shows a value of the window (the mail count, the time of the
// last check): it reads as NameDisplay says, not as a plain label.
class DisplayLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

// Makes Qt ask Pim for the accessible side of its own widgets; once is enough.
void InstallAccessibleFactory();

// `display` (a label or the status strip) reads as "name：what it shows", and
// what it shows alone as its value.
void NameDisplay(QWidget* display, const QString& name);

} // namespace pim
