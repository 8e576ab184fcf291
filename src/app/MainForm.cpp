#include "app/MainForm.h"

#include "app/check/StatusTexts.h"
#include "app/window/Accessibility.h"
#include "app/window/CaptionButton.h"
#include "app/window/KeyFocus.h"
#include "app/window/MailTree.h"
#include "app/window/PictureButton.h"
#include "app/window/ScreenFit.h"
#include "app/window/ShownSummary.h"
#include "app/window/TrayPresence.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Activation.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/ProgramIcons.h"
#include "platform/ShownPosition.h"
#include "resources/Skin.h"
#include "resources/SkinBox.h"
#include "settings/OptionForm.h"
#include "settings/VersionForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QShortcut>
#include <QSizeGrip>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace pim {

namespace {

const std::string& ConfirmWhileChecking() {
    return UiText("MainForm", "メールチェック中です。強制終了いたしますか？（通常はメールチェックが"
                              "終了するまでPimを終了しないでください）");
}
const std::string& ConfirmWhileDialling() {
    return UiText("MainForm", "ダイヤルアップ接続処理中です。強制終了すると接続処理がキャンセル"
                              "されます。よろしいですか？");
}

// The trees: the account tree's top, the gap between them and the mail tree's
// bottom stay as designed; their heights follow the rows of the system's font.
constexpr int kAccountTreeTop = 101;
constexpr int kTreeGap = 6;
constexpr int kMailTreeBottom = 290;
// "すべてのアカウント" and two accounts, as the designed 52 pixels held them.
constexpr int kAccountRows = 3;
constexpr int kDesignedAccountTreeHeight = 52;

// The trees draw no root lines and no expand buttons: a message opens by a
// double-click, and the indentation alone shows the levels.
class PlainTree : public KeyFocusTree {
public:
    using KeyFocusTree::KeyFocusTree;

protected:
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

QString U(const std::string& cp932Text) {
    return cp932::ToUnicode(cp932Text);
}

// Set on the lines that wrap within the tree's width instead of being cut.
constexpr int kWrapRole = Qt::UserRole + 1;

// An error and its reason read whole, on as many rows as they need; a
// message's lines stay one row each, their whole text a hover away.
class WrappingDelegate : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QTreeView* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!index.data(kWrapRole).toBool())
            return QStyledItemDelegate::sizeHint(option, index);
        int depth = 0;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
            ++depth;
        // The width the row gets; the style wraps only within a rectangle it can use.
        QStyleOptionViewItem wrapped = option;
        wrapped.rect =
            QRect(0, 0, tree_->viewport()->width() - depth * tree_->indentation(), QWIDGETSIZE_MAX);
        return QStyledItemDelegate::sizeHint(wrapped, index);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(kWrapRole).toBool())
            option->features |= QStyleOptionViewItem::WrapText;
    }

private:
    QTreeView* tree_;
};

} // namespace

TMainForm::TMainForm(const std::string& programDir, TVeltaRAS& ras, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), controller_(*this, programDir, ras) {
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::FormCreate() {
    InitSkin();
    tray_ = new TrayPresence(*this);
    // Every dialog and message box shows Pim's icon, also one without the main
    // window behind it.
    QApplication::setWindowIcon(tray_->Frame(0));
    // Made once: an icon made per tree line is a new picture each time, and
    // Qt's pixmap cache keeps the scaled copies of every one of them.
    for (size_t image = 0; image < treeIcons_.size(); ++image)
        treeIcons_[image] =
            QIcon(SkinPixmap(QStringLiteral("MAIN_INFORMATION_%1").arg(image + 1), true));
    QFont windowFont = SkinFont(true, 9);
    windowFont.setPixelSize(12);
    setFont(windowFont);
    controller_.LoadSettings();
    // With the lists until the outline says otherwise, at the size they were given.
    shape_.SetFullSize({Settings.Width, Settings.Height});
    setFixedSize(shape_.FullSize());
    // A place saved on a larger screen, or at a smaller scale, may be off every
    // screen now; Pim.INI keeps it until the window is saved where it is.
    move(PlaceOnScreen({Settings.Left, Settings.Top, Settings.Width, Settings.Height},
                       AvailableAreas()));

    // A plain face until the skin: status strip, check button, counts, mail list.
    strip_ = new StatusStrip(this);
    strip_->move(66, 33);
    connect(tray_, &TrayPresence::frameShown, this,
            [this](int frame) { pbCheck_->SetPictures(tray_->ButtonFrame(frame)); });
    connect(tray_, &TrayPresence::windowIconShown, this,
            [this](int frame) { setWindowIcon(tray_->Frame(frame)); });
    connect(tray_, &TrayPresence::activated, this, &TMainForm::TrayActivated);
    pbCheck_ = new PictureButton(this, {18, 39, 32, 32}, UiString("MainForm", "メールチェック"));
    connect(pbCheck_, &PictureButton::clicked, this, &TMainForm::pbCheckClick);
    imOption_ = new PictureButton(this, {57, 52, 32, 32}, UiString("MainForm", "オプション"));
    imOption_->SetPictures(SkinPixmap(QStringLiteral("OPTION_BUTTON_1")),
                           SkinPixmap(QStringLiteral("OPTION_BUTTON_2")));
    connect(imOption_, &PictureButton::clicked, this, &TMainForm::imOptionClick);
    imInformation_ =
        new PictureButton(this, {88, 52, 32, 32}, UiString("MainForm", "メールボックス情報"));
    imInformation_->SetPictures(SkinPixmap(QStringLiteral("INFORMATION_BUTTON_1")),
                                SkinPixmap(QStringLiteral("INFORMATION_BUTTON_2")));
    connect(imInformation_, &PictureButton::clicked, this, &TMainForm::imInformationClick);
    shape_.EnableInformationButton = [this] { imInformation_->SetUsable(true); };
    imMailer_ = new PictureButton(this, {304, 64, 32, 32}, UiString("MainForm", "メーラ起動"));
    connect(imMailer_, &PictureButton::clicked, this, &TMainForm::imMailerClick);
    ShowMailerButton();
    // Flat buttons on the light end of the caption: dark, to read on its blue
    // and on its grey.
    const auto flat = [this](const QString& text, const QString& hint, QRect at) {
        auto* b = new CaptionButton(this);
        b->setText(text);
        b->setToolTip(hint);
        b->setGeometry(at);
        b->setStyleSheet(QStringLiteral(
            "QToolButton { color: #102050; font-weight: bold; font-size: 11px; border: none;"
            " padding: 0px; background: transparent; }"
            "QToolButton:hover { border: 1px solid rgba(255,255,255,160); }"
            "QToolButton:pressed { background: rgba(0,0,0,60); }"));
        return b;
    };
    sbMinimum_ = flat(QStringLiteral("_"), UiString("MainForm", "最小化"), {310, 8, 14, 14});
    connect(sbMinimum_, &QToolButton::clicked, this, &TMainForm::sbMinimumClick);
    spClose_ = flat(QStringLiteral("×"), UiString("MainForm", "閉じる"), {326, 8, 14, 14});
    connect(spClose_, &QToolButton::clicked, this, &QWidget::close);
    // Named after the controls, for the tests and for anyone who inspects the window.
    pbCheck_->setObjectName(QStringLiteral("pbCheck"));
    imOption_->setObjectName(QStringLiteral("imOption"));
    imInformation_->setObjectName(QStringLiteral("imInformation"));
    imMailer_->setObjectName(QStringLiteral("imMailer"));
    sbMinimum_->setObjectName(QStringLiteral("sbMinimum"));
    spClose_->setObjectName(QStringLiteral("spClose"));
    laMailCount_ = new DisplayLabel(QStringLiteral("---"), this);
    laMailCount_->setGeometry(153, 75, 22, 12);
    laMailCount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    laDate_ = new DisplayLabel(QStringLiteral("--/-- --:--:--"), this);
    laDate_->setGeometry(199, 75, 99, 12);
    QFont labelFont = SkinFont(false, 9, true);
    labelFont.setPixelSize(12);
    // The skin's boxes hold the design's fixed font; a wider one here is narrowed.
    labelFont =
        FontFitting(labelFont, {QStringLiteral("--/-- --:--:--"), QStringLiteral("12/31 23:59:59")},
                    laDate_->width(), laDate_);
    labelFont = FontFitting(labelFont, {QStringLiteral("---"), QStringLiteral("999")},
                            laMailCount_->width(), laMailCount_);
    countFont_ = labelFont;
    for (QLabel* label : {laMailCount_, laDate_}) {
        label->setFont(labelFont);
        label->setStyleSheet(QStringLiteral("background: black; color: #00ff00;"));
    }
    tvAccount_ = new PlainTree(this);
    tvMail_ = new PlainTree(this);
    laMailCount_->setObjectName(QStringLiteral("laMailCount"));
    laDate_->setObjectName(QStringLiteral("laMailDate"));
    tvAccount_->setObjectName(QStringLiteral("tvAccount"));
    tvMail_->setObjectName(QStringLiteral("tvMail"));
    for (QTreeWidget* tree : {tvAccount_, tvMail_}) {
        tree->setHeaderHidden(true);
        tree->setColumnCount(1);
        tree->setRootIsDecorated(false);
        tree->setFrameShape(QFrame::NoFrame);
        tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree->setItemDelegate(new WrappingDelegate(tree));
    }
    tvAccount_->setIndentation(35);
    tvMail_->setIndentation(19);
    // At most half the room, so that the mail tree keeps the other half.
    const int accountHeight = std::min(
        std::max(kDesignedAccountTreeHeight,
                 kAccountRows * TreeRowHeight(tvAccount_, QStringLiteral("すべてのアカウント"),
                                              treeIcons_[0])),
        (kMailTreeBottom - kAccountTreeTop - kTreeGap) / 2);
    tvAccount_->setGeometry(15, kAccountTreeTop, 320, accountHeight);
    // Dragged, it sizes the window; the window menu's "Size" does it by keys.
    grip_ = new QSizeGrip(this);
    grip_->resize(14, 14);
    grip_->setObjectName(QStringLiteral("grip"));
    LayOut();
    // A click shows the account again; the arrow keys choose another.
    connect(tvAccount_, &QTreeWidget::itemClicked, this, [this] { tvAccountClick(); });
    connect(tvAccount_, &QTreeWidget::itemSelectionChanged, this, [this] { tvAccountClick(); });
    // The offscreen platform (no display) has no window shapes, and says so at every step.
    const bool shapes = QGuiApplication::platformName() != QLatin1String("offscreen");
    shape_.ApplyRegion = [this, shapes](const QRegion& region) {
        const QRegion uncovered = region - outline_;
        outline_ = region;
        if (!shapes)
            return;
        setMask(region);
        // Painting stops at the mask: what a wider one uncovers was never drawn,
        // in the window or in a tree filled meanwhile.
        RepaintUncovered(this, uncovered);
    };
    shape_.SetSize = [this](QSize size) {
        KeepPlace(); // a resize sends it
        const bool lists = size.height() > WindowShape::kCompactHeight;
        if (lists) {
            setMinimumSize(kMainClientWidth, kMainClientHeight);
            setMaximumSize(kMaxMainClientSize, kMaxMainClientSize);
            resize(size);
        } else {
            setFixedSize(size);
        }
        // Folded away, the trees leave the Tab order and the screen reader's view.
        for (QWidget* w : std::initializer_list<QWidget*>{tvAccount_, tvMail_, grip_})
            w->setVisible(lists);
    };

    auto* altSpace = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(altSpace, &QShortcut::activated, this,
            [this] { KeepPlace(), sysMenu->popup(mapToGlobal(QPoint(4, 23))); });
    // The caption follows the application's activation, dialogs included.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this] { update(23, 7, 319, 15); });

    pmTask = new QMenu(this);
    pmTask->addAction(UiString("MainForm", "環境設定(&O)"), this, &TMainForm::imOptionClick);
    pmTask->addAction(UiString("MainForm", "メインウィンドウを表示(&M)"), this,
                      &TMainForm::miTaskMainClick);
    pmTask->addSeparator();
    // Only the check button asks about offline mode; the menu item does not.
    pmTask->addAction(UiString("MainForm", "メールチェック(&C)"), this,
                      [this] { Run().pbCheckClick(CheckRun::Sender::Menu); });
    pmTask->addSeparator();
    miOffline_ = pmTask->addAction(UiString("MainForm", "オフライン作業(&W)"), this,
                                   &TMainForm::miOfflineClick);
    miOffline_->setCheckable(true);
    pmTask->addSeparator();
    pmTask->addAction(UiString("MainForm", "ヘルプ(&H)"), this, &TMainForm::miTaskHelpClick);
    pmTask->addAction(UiString("MainForm", "バージョン情報(&V)"), this, &TMainForm::miVersionClick);
    pmTask->addAction(UiString("MainForm", "終了(&E)"), this, &QWidget::close);
    // The system menu, as the window manager's would read with Pim's own items.
    sysMenu = new QMenu(this);
    sysMenu->addAction(UiString("MainForm", "環境設定(&O)"), this, &TMainForm::imOptionClick);
    sysMenu->addSeparator();
    sysMenu->addAction(UiString("MainForm", "メールチェック(&C)"), this,
                       [this] { Run().pbCheckClick(CheckRun::Sender::Menu); });
    sysMenu->addSeparator();
    miSysOffline_ = sysMenu->addAction(UiString("MainForm", "オフライン作業(&W)"), this,
                                       &TMainForm::miOfflineClick);
    miSysOffline_->setCheckable(true);
    sysMenu->addSeparator();
    QAction* restore = sysMenu->addAction(UiString("MainForm", "元のサイズに戻す(&R)"), this,
                                          &TMainForm::miTaskMainClick);
    // As a window manager's menu: there is nothing to restore while the window shows as it is.
    connect(sysMenu, &QMenu::aboutToShow, this,
            [this, restore] { restore->setEnabled(isMinimized() || isMaximized()); });
    sysMenu->addAction(UiString("MainForm", "移動(&M)"), this, [this] {
        if (windowHandle())
            windowHandle()->startSystemMove();
    });
    QAction* sizing = sysMenu->addAction(UiString("MainForm", "サイズ変更(&S)"), this,
                                         &TMainForm::StartKeyboardSizing);
    connect(sysMenu, &QMenu::aboutToShow, this,
            [this, sizing] { sizing->setEnabled(Settings.Type == 1 && !isMinimized()); });
    sysMenu->addAction(UiString("MainForm", "最小化(&N)"), this, &TMainForm::sbMinimumClick);
    sysMenu->addSeparator();
    sysMenu->addAction(UiString("MainForm", "ヘルプ(&H)"), this, &TMainForm::miTaskHelpClick);
    sysMenu->addAction(UiString("MainForm", "バージョン情報(&V)"), this,
                       &TMainForm::miVersionClick);
    sysMenu->addAction(UiString("MainForm", "終了(&E)"), this, &QWidget::close);
    SetUpAccess();
    ShowTrayIcon(Settings.SettingTask);
    // Hidden in the tray, the window has no taskbar button.
    tray_->SetWindowKind(tray_->InTray());
    tray_->ShowFrame(0);
    SetStatus(InitialStatusText(Settings));
    if (!AnyAccountToCheck(Accounts))
        UpdateStatusLine(); // a first run says how to begin

    controller_.Connect();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeUnsure_ = true;
    FollowSight();
    if (firstShow_) {
        firstShow_ = false;
        FormShow();
    }
    // A window the window system maps again (restored, another workspace) is
    // not opened anew; one shown minimised was shaped before.
    if (isVisible() && !event->spontaneous() && !isMinimized())
        shape_.StartRegionAnimation(Settings.Type == 1 ? WindowShape::OpenFull
                                                       : WindowShape::OpenCompact,
                                    Settings.SettingAnimation);
}

void TMainForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    EndKeyboardSizing();
    FollowSight();
    // The place it shows at again, and the one saved.
    KeepPlace();
}

void TMainForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The window manager's frame can tell Qt its own first place, 0,0, after
    // it put the window elsewhere: menus would open at the screen's corner,
    // and the next move would come while the window is minimised, which on
    // X11 maps it again. Qt learns the true place from the move it asks for;
    // the menus and "_" ask again, as the frame's word can come after this.
    // Once per show: while the user drags the window, a place read back would
    // lag behind the window manager's and pull the window back.
    if (event->spontaneous() && std::exchange(placeUnsure_, false) && isVisible() && !isMinimized())
        KeepPlace();
}

void TMainForm::FollowSight() {
    // A minimised window stays visible to Qt.
    const bool seen = isVisible() && !isMinimized();
    strip_->SetSeen(seen);
    tray_->SetWindowSeen(seen);
}

void TMainForm::KeepPlace() {
    if (const QPoint shown = ShownPosition(this); shown != pos())
        move(shown);
}

void TMainForm::FormShow() {
    controller_.FormShow();
}

void TMainForm::FormDestroy() {
    controller_.FormDestroy(pos(), terminating_);
}

int TMainForm::MessageBoxShown(const std::string& text, unsigned flags) {
    const bool wasOpen = DialogOpen;
    DialogOpen = true;
    const int answer = MessageBox(this, text, flags);
    DialogOpen = wasOpen;
    return answer;
}

void TMainForm::SetStatus(const std::string& text) {
    if (text.empty())
        return;
    statusText_ = text;
    strip_->SetText(U(text));
    const std::string caption = "Pim - " + text;
    setWindowTitle(U(caption));
    tray_->SetTip(caption);
}

void TMainForm::ShowNoAccount(bool noAccount) {
    if (noAccount == noAccountShown_)
        return;
    noAccountShown_ = noAccount;
    ShowResults();
}

std::string TMainForm::MailCount() const {
    return cp932::FromUnicode(laMailCount_->text());
}

void TMainForm::pbCheckClick() {
    Run().pbCheckClick(CheckRun::Sender::CheckButton);
}

void TMainForm::miOfflineClick() {
    controller_.SetOffline(!controller_.Offline());
    miOffline_->setChecked(controller_.Offline());
    miSysOffline_->setChecked(controller_.Offline());
    UpdateStatusLine();
}

void TMainForm::StartUp() {
    // Hidden in the tray from the start: the start-up work runs all the same.
    if (Settings.SettingRunHide && tray_->InTray()) {
        firstShow_ = false;
        FormShow();
        return;
    }
    if (!Settings.SettingRunHide) {
        show();
        return;
    }
    if (Settings.SettingTask && Settings.SettingTaskbar)
        tray_->NoTrayAtStart();
    // Shaped before it is shown: on X11 a resize or a move of a window shown
    // minimised, before the window manager has it, shows it normally instead.
    shape_.StartRegionAnimation(
        Settings.Type == 1 ? WindowShape::OpenFull : WindowShape::OpenCompact, false);
    showMinimized();
}

void TMainForm::imInformationClick() {
    // Disabled until the animation ends: two quick clicks act once.
    if (!imInformation_->isEnabled())
        return;
    imInformation_->SetUsable(false);
    if (Settings.Type == 1) {
        Settings.Type = 0;
        shape_.StartRegionAnimation(WindowShape::Fold, Settings.SettingAnimation);
    } else {
        Settings.Type = 1;
        shape_.StartRegionAnimation(WindowShape::Unfold, Settings.SettingAnimation);
    }
    UpdateStatusLine();
}

void TMainForm::miTaskHelpClick() {
    OpenHelp(0, this, [this] { MessageBoxShown(HelpNotOpenedText(), mb::IconExclamation); });
}

void TMainForm::sbMinimumClick() {
    // Set right while shown: a move while minimised maps the window again on X11.
    KeepPlace();
    if (tray_->InTray())
        hide();
    else
        showMinimized();
    UpdateStatusLine();
}

void TMainForm::miTaskMainClick() {
    ShowActivated({});
}

void TMainForm::ShowActivated(const QByteArray& token) {
    tray_->Shown();
    ActivateWindow(this, token);
    UpdateStatusLine();
}

QImage TMainForm::Screenshot() {
    QImage image = grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // What lies outside the window's outline is not the window.
    const QRegion outside = QRegion(image.rect()) - outline_;
    for (const QRect& r : outside)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                image.setPixel(x, y, 0);
    return image;
}

void TMainForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A larger window repeats a two-pixel band of the background across and
    // down, where the brushed metal is the same all along: nothing stretches.
    const QPixmap background = SkinPixmap(QStringLiteral("MAIN_BACKGROUND"));
    const int xs[] = {0, 305, 307, kMainClientWidth}, ys[] = {0, 200, 202, kMainClientHeight};
    // Folded, the window shows the top of the design-size skin, the rest cut off.
    const int bottom = std::max(height(), kMainClientHeight);
    const int tx[] = {0, 305, width() - 43, width()}, ty[] = {0, 200, bottom - 98, bottom};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QRect from(xs[i], ys[j], xs[i + 1] - xs[i], ys[j + 1] - ys[j]);
            const QRect to(tx[i], ty[j], tx[i + 1] - tx[i], ty[j + 1] - ty[j]);
            if (to.size() == from.size())
                painter.drawPixmap(to.topLeft(), background, from);
            else if (!to.isEmpty())
                painter.drawTiledPixmap(to, background.copy(from));
        }
    }
    // The caption shows whether Pim is the active application; its name stays,
    // its gradient spans the width.
    const QPixmap caption = SkinPixmap(QGuiApplication::applicationState() == Qt::ApplicationActive
                                           ? QStringLiteral("MAIN_CAPTION_1")
                                           : QStringLiteral("MAIN_CAPTION_2"));
    painter.drawPixmap(23, 7, caption, 0, 0, 40, caption.height());
    painter.drawPixmap(QRect(63, 7, width() - 350 + 279, caption.height()), caption,
                       QRect(40, 0, caption.width() - 40, caption.height()));
    // The trees' panels follow the trees, whose height follows the font.
    for (const QTreeWidget* tree : {tvAccount_, tvMail_})
        DrawSkinBox(painter, QRectF(tree->geometry().adjusted(-4, -4, 4, 4)));
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!grip_)
        return; // not made yet
    // The window with the lists keeps the size it was given, for the next start too.
    if (height() > WindowShape::kCompactHeight) {
        shape_.SetFullSize(size());
        Settings.Width = shape_.FullSize().width();
        Settings.Height = shape_.FullSize().height();
    }
    LayOut();
}

void TMainForm::LayOut() {
    const int grow = width() - kMainClientWidth;
    sbMinimum_->move(310 + grow, 8);
    spClose_->move(326 + grow, 8);
    imMailer_->move(304 + grow, 64);
    // Folded, the trees keep the places they have with the lists.
    const QSize full = shape_.FullSize();
    tvAccount_->resize(full.width() - 30, tvAccount_->height());
    const int mailTop = tvAccount_->geometry().bottom() + 1 + kTreeGap;
    tvMail_->setGeometry(15, mailTop, full.width() - 30,
                         full.height() - (kMainClientHeight - kMailTreeBottom) - mailTop);
    grip_->move(full.width() - grip_->width() - 3, full.height() - grip_->height() - 3);
}

void TMainForm::StartKeyboardSizing() {
    if (Settings.Type != 1)
        return;
    sizing_ = {shape_.FullSize(), shape_.FullSize()};
    setFocus(Qt::OtherFocusReason);
    grabKeyboard();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    if (!sizing_)
        return QWidget::keyPressEvent(event);
    constexpr int kStep = 10;
    QSize& to = sizing_->second;
    switch (event->key()) {
    case Qt::Key_Left:
        to.rwidth() -= kStep;
        break;
    case Qt::Key_Right:
        to.rwidth() += kStep;
        break;
    case Qt::Key_Up:
        to.rheight() -= kStep;
        break;
    case Qt::Key_Down:
        to.rheight() += kStep;
        break;
    case Qt::Key_Escape:
        to = sizing_->first;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return EndKeyboardSizing();
    default:
        return;
    }
    to = to.expandedTo(minimumSize()).boundedTo(maximumSize());
    KeepPlace();
    resize(to);
    if (event->key() == Qt::Key_Escape)
        EndKeyboardSizing();
}

// The grab holds every key of the desktop: it ends, keeping the size, as soon as
// the user turns elsewhere (a click, another window, a message box, the tray).
void TMainForm::EndKeyboardSizing() {
    if (sizing_)
        releaseKeyboard(), sizing_.reset();
}

void TMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        EndKeyboardSizing();
    if (event->type() != QEvent::WindowStateChange)
        return;
    FollowSight();
    tray_->WindowStateChanged(static_cast<QWindowStateChangeEvent*>(event)->oldState());
    UpdateStatusLine();
}

void TMainForm::mousePressEvent(QMouseEvent* event) {
    EndKeyboardSizing();
    const QPoint at = event->position().toPoint();
    // The window icon: its menu just below it on the left button, else at the cursor.
    if (QRect(4, 7, 16, 16).contains(at)) {
        pmTask->popup(event->button() == Qt::LeftButton ? mapToGlobal(QPoint(4, 7 + 16))
                                                        : event->globalPosition().toPoint());
        return;
    }
    // The caption: the menu on the right button, a drag on the left one.
    if (QRect(23, 7, 319, 15).contains(at)) {
        if (event->button() == Qt::RightButton)
            pmTask->popup(event->globalPosition().toPoint());
        else if (event->button() == Qt::LeftButton && windowHandle())
            windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TMainForm::TrayActivated(int reason) {
    if (DialogOpen)
        return;
    // Trays that speak StatusNotifierItem report a single activation, never a
    // double-click: either brings the window.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        miTaskMainClick();
    else if (reason == QSystemTrayIcon::Context)
        pmTask->popup(QCursor::pos());
}

void TMainForm::StartBusyAnimation() {
    tray_->StartBusy();
}

void TMainForm::StopAnimation() {
    tray_->StopAnimation();
}

void TMainForm::ShowMailWaiting(bool waiting) {
    if (waiting)
        tray_->SwingMailWaiting();
    else
        tray_->StopAnimation();
}

void TMainForm::SetMailCount(const QString& text) {
    // Up to three digits in the box's font; 20 full mailboxes hold four.
    laMailCount_->setFont(FontFitting(countFont_, {text}, laMailCount_->width(), laMailCount_));
    laMailCount_->setText(text);
}

void TMainForm::ShowForMail() {
    if (Settings.Type == 0 && isVisible()) {
        Settings.Type = 1;
        shape_.StartRegionAnimation(WindowShape::Unfold, Settings.SettingAnimation);
    }
    Settings.Type = 1;
    tray_->Shown();
    showNormal();
    raise();
    activateWindow();
}

void TMainForm::ShowCheck(int totalMail) {
    SetMailCount(QString::number(totalMail));
    laDate_->setText(QDateTime::currentDateTime().toString(QStringLiteral("MM/dd hh:mm:ss")));
}

namespace {

// A message's lines (Letter, Sender, Date) hold its summary as data; a count
// line, a Letter too, never reads as a summary's fallback.
QString Shown(const TreeLine& line) {
    switch (line.image) {
    case TreeLine::Letter:
        return ShownSummary(SummaryField::Title, line.text);
    case TreeLine::Sender:
        return ShownSummary(SummaryField::Sender, line.text);
    case TreeLine::Date:
        return ShownSummary(SummaryField::Date, line.text);
    default:
        return U(line.text);
    }
}

// `newest`: the item of the line marked newest, where there is one.
void AddLines(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<TreeLine>& lines,
              const TreeIcons& icons, QTreeWidgetItem** newest = nullptr) {
    for (const TreeLine& line : lines) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, Shown(line));
        // A narrow window elides long lines; the whole text is a hover away.
        item->setToolTip(0, item->text(0));
        item->setIcon(0, icons[static_cast<size_t>(line.image)]);
        if (line.image == TreeLine::Error)
            item->setData(0, kWrapRole, true);
        if (line.newest && newest)
            *newest = item;
        AddLines(item, tree, line.children, icons, newest);
    }
}

// Where a line stands: its row under each parent, with the texts that must
// still be there for it to be the same line (subjects repeat).
MailPlace PlaceOf(QTreeWidgetItem* item) {
    MailPlace place;
    for (; item; item = item->parent()) {
        const QTreeWidgetItem* parent = item->parent();
        const int row =
            parent ? parent->indexOfChild(item) : item->treeWidget()->indexOfTopLevelItem(item);
        place.insert(place.begin(), {row, item->text(0)});
    }
    return place;
}

QTreeWidgetItem* ItemAt(const QTreeWidget* tree, const MailPlace& place) {
    QTreeWidgetItem* item = nullptr;
    for (const auto& [row, text] : place) {
        item = item ? item->child(row) : tree->topLevelItem(row);
        if (!item || item->text(0) != text)
            return nullptr;
    }
    return item;
}

} // namespace

void TMainForm::ShowResults(bool newMail) {
    // Without new mail the user's place stays, where it still is. The rows
    // chosen are selected; current only while their tree has the focus.
    const auto chosen = [](const QTreeWidget* tree) {
        const QList<QTreeWidgetItem*> selected = tree->selectedItems();
        return selected.isEmpty() ? nullptr : selected.constFirst();
    };
    QTreeWidgetItem* account = chosen(tvAccount_);
    const int node = account && !newMail ? tvAccount_->indexOfTopLevelItem(account) : 0;
    const QString nodeText = account ? account->text(0) : QString();
    QTreeWidgetItem* mail = chosen(tvMail_);
    const std::optional<MailPlace> kept =
        mail && !newMail ? std::optional(PlaceOf(mail)) : std::nullopt;
    tvAccount_->clear();
    tvMail_->clear();
    // Before the first run there is nothing to show, unless it is how to begin.
    if (!noAccountShown_ && Run().ShownResults()[0].Name.empty())
        return;
    AddLines(nullptr, tvAccount_,
             noAccountShown_ ? NoAccountTree() : AccountTree(Run().ShownResults()), treeIcons_);
    QTreeWidgetItem* again = tvAccount_->topLevelItem(node);
    const bool same = again && again->text(0) == nodeText;
    keptMail_ = same ? kept : std::nullopt;
    tvAccount_->setCurrentItem(same ? again : tvAccount_->topLevelItem(0)); // shows its mail
    keptMail_.reset();
}

void TMainForm::tvAccountClick() {
    const QList<QTreeWidgetItem*> selected = tvAccount_->selectedItems();
    if (selected.isEmpty() || noAccountShown_)
        return;
    const int node = tvAccount_->indexOfTopLevelItem(selected.constFirst());
    tvMail_->clear();
    QTreeWidgetItem* newest = nullptr;
    AddLines(nullptr, tvMail_,
             MailTree(Run().ShownResults(), node, Settings.SettingOldMailNotShow,
                      Settings.SettingNewestFirst),
             treeIcons_, &newest);
    // The headings of the all-accounts view open one level; SettingInfoOpen opens all.
    if (Settings.SettingInfoOpen)
        tvMail_->expandAll();
    else if (node == 0)
        for (int i = 0; i < tvMail_->topLevelItemCount(); ++i)
            tvMail_->topLevelItem(i)->setExpanded(true);
    // What the check just brought is what the user came for; after a check that
    // brought nothing, what they had chosen.
    if (keptMail_) {
        QTreeWidgetItem* kept = ItemAt(tvMail_, *keptMail_);
        for (QTreeWidgetItem* up = kept ? kept->parent() : nullptr; up; up = up->parent())
            up->setExpanded(true);
        tvMail_->setCurrentItem(kept ? kept : tvMail_->topLevelItem(0));
        if (kept)
            tvMail_->scrollToItem(kept);
    } else if (newest) {
        tvMail_->setCurrentItem(newest);
        tvMail_->scrollToItem(newest);
    } else if (tvMail_->topLevelItemCount() > 0) {
        tvMail_->setCurrentItem(tvMail_->topLevelItem(0));
    }
}

void TMainForm::ShowMailerButton() {
    const QString path = U(Settings.MailerPath);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        imMailer_->hide();
        return;
    }
    // A program without an icon of its own still gets a button one can see.
    QIcon icon = ProgramIcon(path, Settings.MailerIcon);
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("internet-mail"),
                                style()->standardIcon(QStyle::SP_FileIcon));
    imMailer_->SetPictures(icon.pixmap(32, 32));
    imMailer_->show();
}

void TMainForm::imOptionClick() {
    if (optionForm_ || versionForm_)
        return;
    const bool oldScheduleTime = Settings.ScheduleTime;
    const int oldScheduleTimeCount = Settings.ScheduleTimeCount;
    const FocusKeeper focus(*this);
    setEnabled(false);
    DialogOpen = true;
    {
        TOptionForm form(controller_, controller_.Dialup(), ProfilePath());
        optionForm_ = &form;
        form.tcOption->setCurrentWidget(form.tsAccount);
        form.exec();
        optionForm_ = nullptr;
    }
    DialogOpen = false;
    EnableMainWindow();
    focus.Restore();
    controller_.RearmSchedule(oldScheduleTime, oldScheduleTimeCount);
}

void TMainForm::miVersionClick() {
    if (optionForm_ || versionForm_)
        return;
    const FocusKeeper focus(*this);
    setEnabled(false);
    DialogOpen = true;
    {
        TVersionForm form;
        versionForm_ = &form;
        form.exec();
        versionForm_ = nullptr;
    }
    DialogOpen = false;
    EnableMainWindow();
    focus.Restore();
}

void TMainForm::EnableMainWindow() {
    if (!optionForm_ && !versionForm_)
        setEnabled(true);
}

void TMainForm::ShowTrayIcon(bool shown) {
    tray_->ShowTrayIcon(shown);
}

void TMainForm::ApplyTaskbarMode(QWidget* dialog) {
    tray_->ApplyTaskbarMode(dialog);
}

void TMainForm::TrayHostChanged() {
    if (!terminating_)
        tray_->TrayHostChanged();
}

void TMainForm::ShowRequested(const QByteArray& token) {
    // An open dialog stays in front of the window it belongs to: it is the one
    // the token brings forward.
    QWidget* dialog = QApplication::activeModalWidget();
    ShowActivated(dialog ? QByteArray() : token);
    if (dialog)
        ActivateWindow(dialog, token);
}

void TMainForm::ClearShownMail() {
    ShowResults(); // empty, or still how to begin
    SetMailCount(QStringLiteral("---"));
    laDate_->setText(QStringLiteral("--/-- --:--:--"));
    if (tray_->SwingingMailWaiting())
        tray_->StopAnimation();
}

void TMainForm::Terminate() {
    terminating_ = true;
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!terminating_) {
        const bool wasOpen = DialogOpen;
        DialogOpen = true;
        int answer = IDYES;
        if (Run().CheckIndex() >= 0)
            answer = MessageBox(this, ConfirmWhileChecking(),
                                mb::YesNo | mb::IconQuestion | mb::DefButton2);
        else if (Run().CheckIndex() == CheckRun::kDialling) {
            answer = MessageBox(this, ConfirmWhileDialling(),
                                mb::YesNo | mb::IconQuestion | mb::DefButton2);
            if (answer != IDNO)
                controller_.HangUp();
        } else if (Settings.SettingEndCheck)
            answer = MessageBox(this, texts::ConfirmExit(), mb::YesNo | mb::IconQuestion);
        if (answer == IDNO) {
            DialogOpen = wasOpen;
            event->ignore();
            return;
        }
    } else if (Run().CheckIndex() == CheckRun::kDialling) {
        // The session ends: a connection still being made for the check would
        // stay up with nobody to take it down.
        controller_.HangUp();
    }
    // DialogOpen stays set, so nothing reacts to input while the program ends.
    DialogOpen = true;
    Run().Abandon();
    event->accept();
    // Posted: a close during the start-up check's dial comes before the main
    // loop runs, and a quit then would be lost.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace pim
