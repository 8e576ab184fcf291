#include "settings/IconForm.h"

#include "common/UiText.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/ProgramIcons.h"
#include "settings/DialogFrame.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>

namespace pim {

namespace {

const std::string& ChooseIcon() {
    return UiText("IconForm", "リストの中から設定したいアイコンを選択してください。");
}

constexpr int kClientWidth = 380;
constexpr int kClientHeight = 242;
constexpr int kIconSize = 32;
constexpr int kCellMargin = 4;

// Every cell holds exactly 32 x 32: small icons are stretched up, odd shapes
// centred, so the list stays a regular grid whatever the theme offers.
QIcon Cell(const QIcon& icon) {
    const QSize size(kIconSize, kIconSize);
    QPixmap picture = icon.pixmap(size);
    picture.setDevicePixelRatio(1);
    if (picture.size() != size)
        picture = picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap cell(size);
    cell.fill(Qt::transparent);
    QPainter painter(&cell);
    painter.drawPixmap((kIconSize - picture.width()) / 2, (kIconSize - picture.height()) / 2,
                       picture);
    return QIcon(cell);
}

// Items have no caption, so a selection is shown as a frame of highlight around
// the untinted icon rather than as a highlighted caption strip.
class IconCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {kIconSize + 2 * kCellMargin, kIconSize + 2 * kCellMargin};
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        const QRect icon(option.rect.center() - QPoint(kIconSize / 2 - 1, kIconSize / 2 - 1),
                         QSize(kIconSize, kIconSize));
        index.data(Qt::DecorationRole).value<QIcon>().paint(painter, icon);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            static_cast<QStyleOption&>(focus) = option;
            focus.backgroundColor = option.palette.color(QPalette::Highlight);
            const QWidget* view = option.widget;
            (view ? view->style() : QApplication::style())
                ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, view);
        }
    }
};

} // namespace

TIconForm::TIconForm(QWidget* parent) : QDialog(parent, kDialogFlags) {
    FrameDialog(*this, UiString("IconForm", "Pim -メーラ起動アイコン設定-"), kClientWidth,
                kClientHeight);

    auto* intro =
        new QLabel(UiString("IconForm", "表示するメーラの起動アイコンを指定してください。"), this);
    intro->setGeometry(10, 6, kClientWidth - 20, 20);

    lvIcon = new QListWidget(this);
    lvIcon->setObjectName(QStringLiteral("lvIcon"));
    lvIcon->setGeometry(8, 28, kClientWidth - 16, 174);
    lvIcon->setViewMode(QListView::IconMode);
    lvIcon->setIconSize(QSize(kIconSize, kIconSize));
    lvIcon->setGridSize(QSize(52, 48));
    lvIcon->setItemDelegate(new IconCell(lvIcon));
    lvIcon->setMovement(QListView::Static);
    lvIcon->setResizeMode(QListView::Adjust);
    lvIcon->setSelectionMode(QAbstractItemView::SingleSelection);
    SetHelpContext(lvIcon, 37);
    lvIcon->setAccessibleName(UiString("IconForm", "起動アイコン"));
    // Only a double-click on an item picks it; one on the empty area does nothing.
    connect(lvIcon, &QListWidget::itemDoubleClicked, this, [this] {
        if (!lvIcon->selectedItems().isEmpty())
            btOkClick();
    });

    btOk = new QPushButton(UiString("IconForm", "設定"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setGeometry(kClientWidth - 8 - 75 - 6 - 75, 209, 75, 25);
    SetHelpContext(btOk, 38);
    connect(btOk, &QPushButton::clicked, this, &TIconForm::btOkClick);

    btCancel = new QPushButton(UiString("IconForm", "キャンセル"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(kClientWidth - 8 - 75, 209, 75, 25);
    SetHelpContext(btCancel, 39);
    connect(btCancel, &QPushButton::clicked, this, &TIconForm::btCancelClick);

    EnableContextHelp(this);
}

void TIconForm::Fill(const QString& programPath) {
    lvIcon->clear();
    // Only a file has icons: a path that names none lists nothing, even when a
    // desktop entry happens to start a program of that name.
    if (!QFileInfo(programPath).isFile())
        return;
    for (const QIcon& icon : ProgramIcons(programPath)) {
        auto* item = new QListWidgetItem(Cell(icon), QString(), lvIcon);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        // No caption to read: a screen reader reads the icon's number.
        item->setData(Qt::AccessibleTextRole,
                      UiString("IconForm", "アイコン %1").arg(lvIcon->count()));
    }
}

void TIconForm::btOkClick() {
    const QList<QListWidgetItem*> selected = lvIcon->selectedItems();
    if (selected.isEmpty()) {
        MessageBox(this, ChooseIcon(), mb::Ok | mb::IconExclamation);
        return;
    }
    Result = lvIcon->row(selected.first());
    accept();
}

void TIconForm::btCancelClick() {
    reject();
}

} // namespace pim
