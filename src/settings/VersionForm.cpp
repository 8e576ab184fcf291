#include "settings/VersionForm.h"

#include "common/UiText.h"
#include "resources/Skin.h"
#include "settings/DialogFrame.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace pim {

namespace {

constexpr int kClientWidth = 277;
constexpr int kClientHeight = 130;

// The black panel with its one-pixel lowered bevel.
class LoweredPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect r = rect();
        painter.fillRect(r, Qt::black);
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(Qt::white);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }
};

// The idle picture of the check button, drawn as it is: its clear parts show the panel.
class Logo : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawPixmap(0, 0, SkinPixmap(QStringLiteral("MAIN_ICON_1")));
    }
};

QLabel* PanelText(QWidget* panel, const char* name, const QString& text, QPoint at,
                  const QColor& color) {
    auto* label = new QLabel(text, panel);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

TVersionForm::TVersionForm(QWidget* parent) : QDialog(parent, kDialogFlags) {
    InitSkin();
    FrameDialog(*this, UiString("VersionForm", "Pim -バージョン情報-"), kClientWidth,
                kClientHeight);

    auto* panel = new LoweredPanel(this);
    panel->setGeometry(8, 8, 261, 81);

    pbLogo = new Logo(panel);
    pbLogo->setObjectName(QStringLiteral("pbLogo"));
    pbLogo->setGeometry(85, 8, 32, 32);

    laTitle = new QLabel(QStringLiteral("Pim"), panel);
    laTitle->setObjectName(QStringLiteral("laTitle"));
    laTitle->setGeometry(127, 13, 54, 24);
    QPalette palette = laTitle->palette();
    palette.setColor(QPalette::WindowText, QColor(85, 85, 255));
    laTitle->setPalette(palette);
    PickTitleFont(QFontDatabase::families());

    PanelText(panel, "laNetwork", QStringLiteral("with FernpostNetwork "), {32, 45},
              QColor(128, 128, 128));
    PanelText(panel, "laVersion", QStringLiteral("Ver" PIM_VERSION), {177, 45}, Qt::white);

    btClose = new QPushButton(QStringLiteral("OK"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    btClose->setGeometry((kClientWidth - 125) / 2, 97, 125, 25);
    btClose->setDefault(true);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TVersionForm::PickTitleFont(const QStringList& installedFamilies) {
    QFont font = laTitle->font();
    if (installedFamilies.contains(QStringLiteral("Lucida Handwriting"), Qt::CaseSensitive)) {
        font.setFamilies({QStringLiteral("Lucida Handwriting")});
        font.setPointSize(14);
        font.setBold(false);
        font.setItalic(true);
        laTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    } else {
        // Liberation Sans has Arial's measures where Arial itself is missing.
        font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
        font.setPixelSize(21);
        font.setBold(true);
        font.setItalic(true);
        laTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    laTitle->setFont(font);
}

} // namespace pim
