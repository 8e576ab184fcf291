#include "app/MainForm.h"

#include "app/Accessibility.h"
#include "app/ArrivalNotice.h"
#include "app/CaptionButton.h"
#include "app/KeyFocus.h"
#include "app/MailTree.h"
#include "app/Notification.h"
#include "app/PictureButton.h"
#include "app/ScreenFit.h"
#include "app/ShownSummary.h"
#include "app/StatusTexts.h"
#include "app/TrayPresence.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Activation.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/ProgramIcons.h"
#include "platform/ShownPosition.h"
#include "platform/Sound.h"
#include "remote/PimStation.h"
#include "resources/Skin.h"
#include "resources/SkinBox.h"
#include "settings/OptionForm.h"
#include "settings/ProfileLocation.h"
#include "settings/SettingsFile.h"
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
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <cmath>
#include <cstdio>

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
const std::string& ServiceFailed() {
    return UiText("MainForm", "FernpostNetworkサービスを開始することができませんでした。");
}
const std::string& LoginFailed() {
    return UiText("MainForm", "FernpostNetworkにログインすることができませんでした。");
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

} // namespace

std::function<QDBusConnection()> TMainForm::NotificationBus = [] {
    return QDBusConnection::sessionBus();
};

TMainForm::TMainForm(const std::string& programDir, TVeltaRAS& ras, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), programDir_(programDir), ras_(ras),
      run_(VeltaPOP3, VeltaIMAP, rasControl_, *this, Settings, Accounts),
      scheduler_(
          Settings, [this] { return SchedulePaused(); },
          [this] { run_.pbCheckClick(CheckRun::Sender::Other); }),
      menu_(menuHost_, Settings, prompts_) {
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
    setFixedSize(kMainClientWidth, kMainClientHeight);
    QFont windowFont = SkinFont(true, 9);
    windowFont.setPixelSize(12);
    setFont(windowFont);
    profilePath_ = pim::ProfilePath(programDir_);

    ScreenSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = {primary->size().width(), primary->size().height()};
    // Whether NetworkManager is there, and its phonebook, may come after the load.
    ras_.OnReady = [this](TVeltaRAS*) {
        LoadDialupSettings(ras_, Settings);
        if (std::exchange(checkWhenReady_, false))
            QMetaObject::invokeMethod(
                this, [this] { run_.pbCheckClick(CheckRun::Sender::Other); }, Qt::QueuedConnection);
    };
    const IniFile::LoadStatus profile =
        LoadSettings(profilePath_, ras_, screen, Settings, Accounts);
    // A place saved on a larger screen, or at a smaller scale, may be off every
    // screen now; Pim.INI keeps it until the window is saved where it is.
    move(PlaceOnScreen({Settings.Left, Settings.Top, kMainClientWidth, kMainClientHeight},
                       AvailableAreas()));
    profileUsable_ = IniFile::Usable(profile);
    if (!profileUsable_) {
        // Shown from the event loop, where a signal can still end the program.
        QMetaObject::invokeMethod(
            this,
            [this, text = CannotReadText(profilePath_, profile)] {
                MessageBoxShown(text, mb::IconExclamation);
            },
            Qt::QueuedConnection);
    }

    // A plain face until the skin: status strip, check button, counts, mail list.
    strip_ = new StatusStrip(this);
    strip_->move(66, 33);
    connect(tray_, &TrayPresence::frameShown, this, [this](int frame) {
        pbCheck_->SetPictures(SkinPixmap(QStringLiteral("MAIN_ICON_%1").arg(frame + 1)));
        setWindowIcon(tray_->Frame(frame));
    });
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
    const int mailTop = kAccountTreeTop + accountHeight + kTreeGap;
    tvMail_->setGeometry(15, mailTop, 320, kMailTreeBottom - mailTop);
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
    shape_.SetHeight = [this](int height) {
        KeepPlace(); // a resize sends it
        setFixedHeight(height);
        // Folded away, the trees leave the Tab order and the screen reader's view.
        tvAccount_->setVisible(height > WindowShape::kCompactHeight);
        tvMail_->setVisible(height > WindowShape::kCompactHeight);
    };

    // The run walks the accounts on its own; the dial-up component and the LAN
    // station report to it and to the scheduler.
    ras_.OnConnect = [this](TVeltaRAS*, const std::string&) { run_.DialFinished(); };
    ras_.OnConnectError = [this](TVeltaRAS*, const std::string&) { run_.DialFinished(); };
    ras_.OnFirstConnect = [this](TVeltaRAS*) { scheduler_.VeltaRASFirstConnect(); };
    // After a resume or when the network returns, the interval check comes early.
    wake_.Conditions = [this] {
        return WakeCheck::Conditions{Settings.ScheduleTime && !SchedulePaused(), run_.Running(),
                                     offline_, std::chrono::minutes(Settings.ScheduleTimeCount)};
    };
    wake_.OnCheck = [this](WakeWatch*) { scheduler_.CheckNow(); };
    // A notification's actions do what the tray menu and the mailer button do.
    connect(&notifications_, &DesktopNotifications::actionInvoked, this,
            [this](const QString& key, const QByteArray& token) {
                if (DialogOpen)
                    return;
                if (key == QLatin1String("default"))
                    ShowActivated(token);
                else if (key == QLatin1String("mailer"))
                    imMailerClick();
            });

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
                      [this] { run_.pbCheckClick(CheckRun::Sender::Menu); });
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
                       [this] { run_.pbCheckClick(CheckRun::Sender::Menu); });
    sysMenu->addSeparator();
    miSysOffline_ = sysMenu->addAction(UiString("MainForm", "オフライン作業(&O)"), this,
                                       &TMainForm::miOfflineClick);
    miSysOffline_->setCheckable(true);
    sysMenu->addSeparator();
    sysMenu->addAction(UiString("MainForm", "元のサイズに戻す(&R)"), this,
                       &TMainForm::miTaskMainClick);
    sysMenu->addAction(UiString("MainForm", "移動(&M)"), this, [this] {
        if (windowHandle())
            windowHandle()->startSystemMove();
    });
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

    SetPop3TimeOut(ReplyTimeOut(Settings));

    ConfigureAsPim(FPN);
    FPN.OnMenuRequest = [this](TFernpostNetwork* fpn, const std::string& handle,
                               const std::string& machine, const std::string& kind) {
        menu_.FPNMenuRequest(handle, machine, kind, fpn->RecvSenderIP());
    };
    FPN.OnInputReturn = [this](TFernpostNetwork* fpn, const std::string& tag,
                               const std::string& answer, const std::string& handle,
                               const std::string& machine, const std::string& kind) {
        menu_.FPNInputReturn(tag, answer, handle, machine, kind, fpn->RecvSenderIP());
    };
    FPN.OnLogout = [this](TFernpostNetwork*, const std::string&, const std::string& machine,
                          const std::string&,
                          const std::string& kind) { menu_.ConsoleLoggedOut(machine, kind); };
    if (Settings.Login) {
        if (!FPN.Open())
            MessageBoxShown(ServiceFailed(), mb::IconExclamation);
        else if (!FPN.Login())
            MessageBoxShown(LoginFailed(), mb::IconExclamation);
    }
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
    strip_->SetSeen(isVisible() && !isMinimized());
}

void TMainForm::KeepPlace() {
    if (const QPoint shown = ShownPosition(this); shown != pos())
        move(shown);
}

void TMainForm::FormShow() {
    // A check that needs a dial-up connection asks NetworkManager, which may be
    // busy at login: it waits for NetworkManager's first answers, the window does not.
    if (Settings.ScheduleRun && Settings.CustomizeDial != 0 && !ras_.Ready())
        checkWhenReady_ = true;
    else if (Settings.ScheduleRun)
        run_.pbCheckClick(CheckRun::Sender::Other);
    if (Settings.ScheduleDialup)
        ras_.SetWatching(true);
    scheduler_.Arm();
}

void TMainForm::FormDestroy() {
    run_.Abandon();
    // The dial-up component outlives the window.
    ras_.OnConnect = nullptr;
    ras_.OnConnectError = nullptr;
    ras_.OnFirstConnect = nullptr;
    ras_.OnReady = nullptr;
    FPN.Logout();
    FPN.Close();
    if (!profileUsable_)
        return; // the user was told at start that nothing is saved
    std::string error;
    TSettings place = Settings;
    // Wayland neither places a window nor tells where it is: the place read at
    // start is kept for the next session that can.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        place.Left = pos().x();
        place.Top = pos().y();
    }
    if (SaveMainWindow(profilePath_, place, &error))
        return;
    std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
    // Nobody is there to answer a box when the session is ending.
    if (!terminating_)
        MessageBox(nullptr, error, mb::IconExclamation);
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

bool TMainForm::SchedulePaused() const {
    return Settings.ScheduleTimeInfo && Settings.Type == 1 && isVisible() && !isMinimized();
}

void TMainForm::UpdateStatusLine() {
    if (run_.CheckIndex != -1)
        return;
    // The options' Apply comes here: the trees follow the accounts too.
    const bool noAccount = !AnyAccountToCheck(Accounts);
    if (noAccount != noAccountShown_) {
        noAccountShown_ = noAccount;
        ShowResults();
    }
    if (noAccount && !offline_)
        return SetStatus(texts::NoAccount());
    SetStatus(IdleStatusText(Settings, offline_, cp932::FromUnicode(laMailCount_->text()),
                             SchedulePaused()));
}

void TMainForm::pbCheckClick() {
    run_.pbCheckClick(CheckRun::Sender::CheckButton);
}

void TMainForm::miOfflineClick() {
    offline_ = !offline_;
    miOffline_->setChecked(offline_);
    miSysOffline_->setChecked(offline_);
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
    painter.drawPixmap(0, 0, SkinPixmap(QStringLiteral("MAIN_BACKGROUND")));
    // The caption shows whether Pim is the active application.
    painter.drawPixmap(23, 7,
                       SkinPixmap(QGuiApplication::applicationState() == Qt::ApplicationActive
                                      ? QStringLiteral("MAIN_CAPTION_1")
                                      : QStringLiteral("MAIN_CAPTION_2")));
    // The trees' panels follow the trees, whose height follows the font.
    for (const QTreeWidget* tree : {tvAccount_, tvMail_})
        DrawSkinBox(painter, QRectF(tree->geometry().adjusted(-4, -4, 4, 4)));
}

void TMainForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    FollowSight();
    tray_->WindowStateChanged(static_cast<QWindowStateChangeEvent*>(event)->oldState());
    UpdateStatusLine();
}

void TMainForm::mousePressEvent(QMouseEvent* event) {
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

void TMainForm::ResetAfterFailedDial() {
    tray_->StopAnimation();
    UpdateStatusLine();
}

void TMainForm::SetMailCount(const QString& text) {
    // Up to three digits in the box's font; 20 full mailboxes hold four.
    laMailCount_->setFont(FontFitting(countFont_, {text}, laMailCount_->width(), laMailCount_));
    laMailCount_->setText(text);
}

void TMainForm::ShowRun(const RunOutcome& outcome) {
    if (AutoShowWanted(Settings, outcome)) {
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
    SetMailCount(QString::number(outcome.TotalMail));
    laDate_->setText(QDateTime::currentDateTime().toString(QStringLiteral("MM/dd hh:mm:ss")));
    std::optional<DesktopNotifications::Content> notice;
    if (SoundWanted(Settings, outcome)) {
        PlayArrivalSound(Settings.Kind, U(Settings.WaveRecv));
        if (Settings.SettingNotification)
            notice =
                ArrivalNotice(run_.ShownResults, outcome.TotalMail, !Settings.MailerPath.empty());
    }
    ShowResults();
    // A mail program started now is the notice; a notification would close at once.
    const bool mailerStarted = MailerWanted(Settings, outcome) && imMailerClick();
    if (notice && !mailerStarted)
        notifications_.Notify(std::move(*notice));
}

void TMainForm::RunOver(const RunOutcome&) {
    wake_.RunEnded();
    // The mail program may have emptied the list meanwhile (SettingMailerHide).
    if (run_.TotalMail != 0)
        tray_->SwingMailWaiting();
    else
        tray_->StopAnimation();
    UpdateStatusLine();
}

void TMainForm::RememberSecurity(const TlsLesson& lesson) {
    // An Apply of an options dialog open meanwhile must not undo it.
    if (optionForm_)
        TakeSecurity(optionForm_->EditAccounts, lesson);
    if (!profileUsable_) {
        TakeSecurity(Accounts, lesson); // the user was told at start that nothing is saved
        return;
    }
    std::string error;
    if (StoreSecurity(profilePath_, Accounts, lesson, &error) || securityWriteFailed_)
        return;
    // Accounts holds it while Pim runs and the next Apply writes it; a box at
    // every check would help nobody.
    securityWriteFailed_ = true;
    std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
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

void AddLines(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<TreeLine>& lines,
              const TreeIcons& icons) {
    for (const TreeLine& line : lines) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, Shown(line));
        // A narrow window elides long lines; the whole text is a hover away.
        item->setToolTip(0, item->text(0));
        item->setIcon(0, icons[static_cast<size_t>(line.image)]);
        AddLines(item, tree, line.children, icons);
    }
}

} // namespace

void TMainForm::ShowResults() {
    tvAccount_->clear();
    tvMail_->clear();
    // Before the first run there is nothing to show, unless it is how to begin.
    if (!noAccountShown_ && run_.ShownResults[0].Name.empty())
        return;
    AddLines(nullptr, tvAccount_,
             noAccountShown_ ? NoAccountTree() : AccountTree(run_.ShownResults), treeIcons_);
    tvAccount_->setCurrentItem(tvAccount_->topLevelItem(0)); // shows its mail
}

void TMainForm::tvAccountClick() {
    const QList<QTreeWidgetItem*> selected = tvAccount_->selectedItems();
    if (selected.isEmpty() || noAccountShown_)
        return;
    const int node = tvAccount_->indexOfTopLevelItem(selected.constFirst());
    tvMail_->clear();
    AddLines(nullptr, tvMail_, MailTree(run_.ShownResults, node, Settings.SettingOldMailNotShow),
             treeIcons_);
    // The headings of the all-accounts view open one level; SettingInfoOpen opens all.
    if (Settings.SettingInfoOpen)
        tvMail_->expandAll();
    else if (node == 0)
        for (int i = 0; i < tvMail_->topLevelItemCount(); ++i)
            tvMail_->topLevelItem(i)->setExpanded(true);
    if (tvMail_->topLevelItemCount() > 0)
        tvMail_->setCurrentItem(tvMail_->topLevelItem(0));
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
        TOptionForm form(*this, ras_, profilePath_);
        optionForm_ = &form;
        form.tcOption->setCurrentWidget(form.tsAccount);
        form.exec();
        optionForm_ = nullptr;
    }
    DialogOpen = false;
    EnableMainWindow();
    focus.Restore();
    scheduler_.Rearm(oldScheduleTime, oldScheduleTimeCount);
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

void TMainForm::SetPop3TimeOut(int milliseconds) {
    VeltaPOP3.TimeOutCount = VeltaIMAP.TimeOutCount = milliseconds;
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

void TMainForm::SetDialupWatching(bool watching) {
    ras_.SetWatching(watching);
}

bool TMainForm::FpnLoggedIn() {
    return FPN.LoginStates();
}

bool TMainForm::FpnOpen() {
    return FPN.Open();
}

bool TMainForm::FpnLogin() {
    return FPN.Login();
}

void TMainForm::FpnLogoutAndClose() {
    FPN.Logout();
    FPN.Close();
}

bool TMainForm::imMailerClick() {
    const QString path = U(Settings.MailerPath);
    // A mail program that cannot start leaves everything as it is: the user has
    // not read the mail.
    if (path.isEmpty() ||
        !QProcess::startDetached(path, QProcess::splitCommand(U(Settings.MailerOption)),
                                 QFileInfo(path).absolutePath()))
        return false;
    notifications_.Close(); // the user is reading the mail
    if (Settings.SettingMailerHide) {
        run_.ForgetShownResults();
        ShowResults(); // empty, or still how to begin
        SetMailCount(QStringLiteral("---"));
        laDate_->setText(QStringLiteral("--/-- --:--:--"));
        if (tray_->SwingingMailWaiting())
            tray_->StopAnimation();
        UpdateStatusLine();
    }
    if (Settings.MailerMinimized)
        sbMinimumClick(); // to the tray, when it hides there
    return true;
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
        if (run_.CheckIndex >= 0)
            answer = MessageBox(this, ConfirmWhileChecking(),
                                mb::YesNo | mb::IconQuestion | mb::DefButton2);
        else if (run_.CheckIndex == -2) {
            answer = MessageBox(this, ConfirmWhileDialling(),
                                mb::YesNo | mb::IconQuestion | mb::DefButton2);
            if (answer != IDNO)
                ras_.HangUp();
        } else if (Settings.SettingEndCheck)
            answer = MessageBox(this, texts::ConfirmExit(), mb::YesNo | mb::IconQuestion);
        if (answer == IDNO) {
            DialogOpen = wasOpen;
            event->ignore();
            return;
        }
    }
    // DialogOpen stays set, so nothing reacts to input while the program ends.
    DialogOpen = true;
    run_.Abandon();
    event->accept();
    // Posted: a close during the start-up check's dial comes before the main
    // loop runs, and a quit then would be lost.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace pim
