// The options dialog's pages and controls, laid out; what they do is in OptionForm.cpp.
#include "common/UiText.h"
#include "platform/CurrentWhileFocused.h"
#include "platform/Help.h"
#include "resources/Skin.h"
#include "settings/DialogFrame.h"
#include "settings/OptionForm.h"
#include "settings/PageButton.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <functional>

namespace pim {

namespace {

// Both number edits hold three characters: 999 is the most they can show.
constexpr int kNumberChars = 3;
constexpr int kIndent = 14;
// A check box, radio button, group title or account is one line of 18 pixels.
constexpr int kRowHeight = 18;

template <class W>
W* Named(W* widget, const char* name, int help = 0) {
    widget->setObjectName(QLatin1StringView(name));
    if (help > 0)
        SetHelpContext(widget, help);
    return widget;
}

// A control with its design name and help number.
QCheckBox* Check(const char* name, const QString& text, int help) {
    return Named(new QCheckBox(text), name, help);
}

QRadioButton* Radio(const char* name, const QString& text, int help) {
    return Named(new QRadioButton(text), name, help);
}

QLabel* Label(const char* name, const QString& text, int help) {
    return Named(new QLabel(text), name, help);
}

QLabel* GroupTitle(const QString& caption) {
    auto* title = new QLabel(QStringLiteral("<span style=\"color:#ff0000\">■</span>"
                                            "<span style=\"color:#008080; font-weight:bold\">"
                                            "%1</span>")
                                 .arg(caption));
    title->setTextFormat(Qt::RichText);
    title->setAccessibleName(caption); // without the square
    return title;
}

// The black strip at the top of every page: the page's picture and one line in lime.
QWidget* HeaderPanel(int index, const QString& text) {
    auto* panel = new QFrame;
    panel->setObjectName(QStringLiteral("pnHeader%1").arg(index + 1));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(0x00, 0xFF, 0x00));
    panel->setPalette(palette);
    auto* picture = new QLabel;
    picture->setObjectName(QStringLiteral("pbOptionIcon%1").arg(index + 1));
    picture->setFixedSize(32, 32);
    picture->setPixmap(SkinPixmap(QStringLiteral("OPTION_ICON_%1").arg(index + 1)));
    auto* caption = new QLabel(text);
    caption->setFont(DialogFont(true));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(8);
    row->addWidget(picture);
    row->addWidget(caption, 1);
    return panel;
}

// A page whose panels share one place: the header, the row of page buttons,
// then the panels.
void LayOutButtonPage(QWidget* page, QWidget* header, std::initializer_list<QToolButton*> buttons,
                      QWidget* panels) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* group = new QButtonGroup(page); // one of them chosen at a time
    for (QToolButton* b : buttons) {
        row->addWidget(b);
        group->addButton(b);
    }
    row->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(header);
    layout->addLayout(row);
    layout->addWidget(panels, 1);
}

// The controls of a panel top to bottom, each at its indentation.
class Column {
public:
    explicit Column(QWidget* panel) : layout_(new QVBoxLayout(panel)) {
        layout_->setContentsMargins(2, 2, 2, 0);
        layout_->setSpacing(0);
    }
    void Title(const QString& caption) {
        if (layout_->count() > 0)
            layout_->addSpacing(3);
        QLabel* title = GroupTitle(caption);
        title->setFixedHeight(kRowHeight);
        layout_->addWidget(title);
    }
    template <class W>
    W* Add(W* widget, int indent = 1) {
        widget->setFixedHeight(kRowHeight);
        Row({widget}, indent);
        return widget;
    }
    void AddLayout(QLayout* layout) { layout_->addLayout(layout); }
    QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int indent = 1) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(indent * kIndent, 0, 0, 0);
        row->setSpacing(4);
        for (QWidget* w : widgets)
            row->addWidget(w);
        row->addStretch();
        layout_->addLayout(row);
        return row;
    }
    void End() { layout_->addStretch(); }

private:
    QVBoxLayout* layout_;
};

// The account list from the keyboard: the focus selects the selected row, else
// the first, so that Change and Delete work on a single account too; Enter
// opens the row instead of pressing OK. Only the focused list has a current
// row, which a reader hears as the focused one.
class AccountList : public CurrentWhileFocused<QListWidget> {
public:
    std::function<void()> Open;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && currentItem() && currentItem()->isSelected())
            Open();
        else
            QListWidget::keyPressEvent(event);
    }
};

// Home and End choose the first and the last page, as on the rows of page
// buttons (Qt's tab bar knows only the arrows).
class TabBarEnds : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Home && key != Qt::Key_End)
            return false;
        auto* bar = static_cast<QTabBar*>(watched);
        bar->setCurrentIndex(key == Qt::Key_Home ? 0 : bar->count() - 1);
        return true;
    }
};

class AccountRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }
};

} // namespace

void TOptionForm::CreateControls() {
    tcOption = Named(new QTabWidget, "tcOption");
    tcOption->addTab(CreateAccountPage(), UiString("OptionForm", "アカウント"));
    tcOption->addTab(CreateCustomizePage(), UiString("OptionForm", "カスタマイズ"));
    tcOption->addTab(CreateSchedulePage(), UiString("OptionForm", "スケジュール"));
    tcOption->addTab(CreateFpnPage(), QStringLiteral("FernpostNetwork"));
    tcOption->tabBar()->installEventFilter(new TabBarEnds(tcOption));

    btOk = Named(new QPushButton(UiString("OptionForm", "設定")), "btOk", 27);
    btCancel = Named(new QPushButton(UiString("OptionForm", "キャンセル")), "btCancel", 29);
    btUpdate = Named(new QPushButton(UiString("OptionForm", "適用")), "btUpdate", 30);
    btOk->setDefault(true);
    connect(btOk, &QPushButton::clicked, this, &TOptionForm::btOkClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btUpdate, &QPushButton::clicked, this, &TOptionForm::ApplySettings);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {btOk, btCancel, btUpdate}) {
        b->setFixedSize(75, 25);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(tcOption, 1);
    layout->addLayout(buttons);

    for (const auto& [button, panel] : pageButtons_) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
    }
    for (QToolButton* b : {sbSoundTestRecv, sbSoundSearchRecv, sbMailerPathSearch})
        b->setFixedSize(22, 22);
    for (QLineEdit* edit : {edScheduleTimeoutCount, edScheduleTimeCount}) {
        edit->setMaxLength(kNumberChars);
        edit->setFixedWidth(40);
    }

    // Every change of a setting makes Apply worth pressing; the rules follow the boxes.
    for (QCheckBox* box : findChildren<QCheckBox*>())
        if (box != cbSettingCountOnly)
            connect(box, &QCheckBox::clicked, this, [this] {
                ApplyEnablingRules();
                SettingChanged();
            });
    for (QRadioButton* radio : findChildren<QRadioButton*>())
        connect(radio, &QRadioButton::clicked, this, [this] {
            ApplyEnablingRules();
            SettingChanged();
        });
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        connect(edit, &QLineEdit::textChanged, this, &TOptionForm::SettingChanged);
    connect(cbSettingCountOnly, &QCheckBox::clicked, this, &TOptionForm::cbSettingCountOnlyClick);
    connect(cbCuDialSelect, &QComboBox::activated, this, &TOptionForm::SettingChanged);
    connect(edMailerPath, &QLineEdit::textChanged, this, &TOptionForm::edMailerPathChange);
    SetUpAccess();
}

QWidget* TOptionForm::CreateAccountPage() {
    tsAccount = Named(new QWidget, "tsAccount");
    auto* accounts = new AccountList;
    accounts->Open = [this] { btSettingClick(); };
    clAccount = Named<QListWidget>(accounts, "clAccount", 2);
    clAccount->setItemDelegate(new AccountRowDelegate(clAccount));
    clAccount->setUniformItemSizes(true);
    clAccount->setSelectionMode(QAbstractItemView::SingleSelection);
    // Its own frame, filled rather than stroked: the style's one-pixel lines
    // fall between the screen's pixels at a scale such as 1.5 and vanish.
    clAccount->setStyleSheet(QStringLiteral("QListWidget { border: 1px solid palette(dark); }"));
    btAccountUp = Named(new QPushButton(QStringLiteral("▲")), "btAccountUp", 3);
    btAccountDown = Named(new QPushButton(QStringLiteral("▼")), "btAccountDown", 4);
    btAdd = Named(new QPushButton(UiString("OptionForm", "追加")), "btAdd", 5);
    btSetting = Named(new QPushButton(UiString("OptionForm", "変更")), "btSetting", 7);
    btDelete = Named(new QPushButton(UiString("OptionForm", "削除")), "btDelete", 6);
    for (QPushButton* b : {btAccountUp, btAccountDown})
        b->setFixedSize(28, 28);
    for (QPushButton* b : {btAdd, btSetting, btDelete})
        b->setFixedSize(75, 25);

    connect(clAccount, &QListWidget::itemSelectionChanged, this,
            &TOptionForm::UpdateAccountButtons);
    connect(clAccount, &QListWidget::itemChanged, this, &TOptionForm::clAccountItemChanged);
    connect(clAccount, &QListWidget::itemDoubleClicked, this, &TOptionForm::btSettingClick);
    connect(btAdd, &QPushButton::clicked, this, &TOptionForm::btAddClick);
    connect(btSetting, &QPushButton::clicked, this, &TOptionForm::btSettingClick);
    connect(btDelete, &QPushButton::clicked, this, &TOptionForm::btDeleteClick);
    connect(btAccountUp, &QPushButton::clicked, this, [this] { MoveAccount(-1); });
    connect(btAccountDown, &QPushButton::clicked, this, [this] { MoveAccount(1); });

    auto* arrows = new QVBoxLayout;
    arrows->addWidget(btAccountUp);
    arrows->addWidget(btAccountDown);
    arrows->addStretch();
    auto* list = new QHBoxLayout;
    list->setContentsMargins(kIndent, 0, 0, 0);
    list->addWidget(clAccount, 1);
    list->addLayout(arrows);
    auto* edits = new QHBoxLayout;
    edits->setContentsMargins(kIndent, 0, 0, 0);
    edits->addWidget(btAdd);
    edits->addWidget(btSetting);
    edits->addWidget(btDelete);
    edits->addStretch();
    cbSettingKeyring =
        Check("cbSettingKeyring", UiString("OptionForm", "パスワードをキーリングに保存する"), 119);
    laKeyringService =
        Named(new QLabel(UiString("OptionForm", "デスクトップのキーリング（Secret Service）が"
                                                "見つからないため使えません。")),
              "laKeyringService");
    laKeyringService->setWordWrap(true);
    laKeyringService->hide();

    auto* layout = new QVBoxLayout(tsAccount);
    layout->setContentsMargins(4, 4, 4, 6);
    layout->setSpacing(4);
    layout->addWidget(HeaderPanel(
        0, UiString("OptionForm", "チェックするアカウントを複数設定することができます。")));
    layout->addSpacing(2);
    layout->addWidget(GroupTitle(UiString("OptionForm", "メールチェック アカウント")));
    layout->addLayout(list, 1);
    layout->addLayout(edits);
    layout->addSpacing(2);
    for (QWidget* keyring : std::initializer_list<QWidget*>{cbSettingKeyring, laKeyringService}) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(kIndent, 0, 0, 0);
        row->addWidget(keyring, 1);
        layout->addLayout(row);
    }
    return tsAccount;
}

QWidget* TOptionForm::CreateCustomizePage() {
    tsCustomize = Named(new QWidget, "tsCustomize");

    pnCustomizeAction = Named(new QWidget, "pnCustomizeAction");
    {
        Column c(pnCustomizeAction);
        c.Title(UiString("OptionForm", "一般動作"));
        cbSettingTask =
            c.Add(Check("cbSettingTask", UiString("OptionForm", "タスクトレイを利用する"), 8));
        cbSettingTaskbar =
            c.Add(Check("cbSettingTaskbar",
                        UiString("OptionForm", "タスクバーにアイコンを表示しない"), 77),
                  2);
        cbSettingCountOnly = c.Add(Check(
            "cbSettingCountOnly", UiString("OptionForm", "メールの着信数のみチェックする"), 76));
        cbSettingEndCheck =
            c.Add(Check("cbSettingEndCheck", UiString("OptionForm", "終了時に確認する"), 74));
        cbStartAtLogin = c.Add(
            Check("cbStartAtLogin", UiString("OptionForm", "ログイン時にPimを起動する"), 118));
        c.Title(UiString("OptionForm", "タイムアウト"));
        cbScheduleTimeout = c.Add(
            Check("cbScheduleTimeout",
                  UiString("OptionForm", "メールチェックのタイムアウト時間を手動で設定する"), 82));
        laScheduleTimeout1 =
            Label("laScheduleTimeout1", UiString("OptionForm", "タイムアウト時間"), 83);
        edScheduleTimeoutCount = Named(new QLineEdit, "edScheduleTimeoutCount", 83);
        laScheduleTimeout2 = Label("laScheduleTimeout2", UiString("OptionForm", "秒"), 83);
        c.Row({laScheduleTimeout1, edScheduleTimeoutCount, laScheduleTimeout2}, 2);
        c.End();
    }

    pnCustomizeShow = Named(new QWidget, "pnCustomizeShow");
    {
        Column c(pnCustomizeShow);
        c.Title(UiString("OptionForm", "ウィンドウ"));
        cbSettingAnimation =
            c.Add(Check("cbSettingAnimation",
                        UiString("OptionForm", "ウィンドウをアニメーション表示する"), 10));
        cbSettingRunHide = c.Add(Check(
            "cbSettingRunHide", UiString("OptionForm", "起動時にメインウィンドウを表示しない"), 9));
        cbSettingMailerMinimized =
            c.Add(Check("cbSettingMailerMinimized",
                        UiString("OptionForm", "メーラ起動時にメインウィンドウを最小化する"), 112));
        c.Title(UiString("OptionForm", "メールリスト"));
        cbSettingInfoOpen = c.Add(Check(
            "cbSettingInfoOpen",
            UiString("OptionForm", "メールリストを表示する際に、自動的に詳細を展開する"), 14));
        cbSettingOldMailNotShow =
            c.Add(Check("cbSettingOldMailNotShow",
                        UiString("OptionForm", "新着メールのみをメールリストに表示する"), 84));
        cbSettingNewestFirst = c.Add(
            Check("cbSettingNewestFirst", UiString("OptionForm", "新しいメールを上に表示"), 42));
        cbSettingMailerHide = c.Add(
            Check("cbSettingMailerHide",
                  UiString("OptionForm", "メーラ起動時にメールリストの内容をクリアする"), 111));
        c.End();
    }

    pnCustomizeSound = Named(new QWidget, "pnCustomizeSound");
    {
        Column c(pnCustomizeSound);
        c.Title(UiString("OptionForm", "メール着信サウンド"));
        rbSoundNone =
            c.Add(Radio("rbSoundNone", UiString("OptionForm", "サウンドを使用しない"), 17));
        rbSoundBeep = c.Add(Radio("rbSoundBeep", UiString("OptionForm", "BEEP音を鳴らす"), 18));
        rbSoundWave =
            c.Add(Radio("rbSoundWave", UiString("OptionForm", "指定したWAVEファイルを鳴らす"), 19));
        laSoundWave = Label("laSoundWave", UiString("OptionForm", "ファイル名"), 20);
        edSoundRecv = Named(new QLineEdit, "edSoundRecv", 20);
        edSoundRecv->setMinimumWidth(230);
        sbSoundTestRecv = Named(new QToolButton, "sbSoundTestRecv", 20);
        sbSoundTestRecv->setText(QStringLiteral("♪"));
        sbSoundTestRecv->setToolTip(UiString("OptionForm", "サウンドテスト"));
        sbSoundSearchRecv = Named(new QToolButton, "sbSoundSearchRecv", 20);
        sbSoundSearchRecv->setText(QStringLiteral("…"));
        sbSoundSearchRecv->setToolTip(UiString("OptionForm", "ファイル参照"));
        c.Row({laSoundWave, edSoundRecv, sbSoundTestRecv, sbSoundSearchRecv}, 2);
        c.Title(UiString("OptionForm", "デスクトップ通知"));
        cbSettingNotification =
            c.Add(Check("cbSettingNotification",
                        UiString("OptionForm", "新着メールをデスクトップに通知する"), 113));
        c.Title(UiString("OptionForm", "条件"));
        cbSoundSameCheck =
            c.Add(Check("cbSoundSameCheck",
                        UiString("OptionForm", "新着メールが無い場合はサウンドを鳴らさない"), 21));
        c.End();
    }
    connect(sbSoundTestRecv, &QToolButton::clicked, this, &TOptionForm::sbSoundTestRecvClick);
    connect(sbSoundSearchRecv, &QToolButton::clicked, this, &TOptionForm::sbSoundSearchRecvClick);

    pnCustomizeMailer = Named(new QWidget, "pnCustomizeMailer");
    {
        Column c(pnCustomizeMailer);
        c.Title(UiString("OptionForm", "起動メーラ"));
        auto* grid = new QGridLayout;
        grid->setContentsMargins(kIndent, 4, 4, 0);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(6);
        edMailerPath = Named(new QLineEdit, "edMailerPath", 26);
        sbMailerPathSearch = Named(new QToolButton, "sbMailerPathSearch", 26);
        sbMailerPathSearch->setText(QStringLiteral("…"));
        sbMailerPathSearch->setToolTip(UiString("OptionForm", "ファイル参照"));
        edMailerOption = Named(new QLineEdit, "edMailerOption", 80);
        auto* iconFrame = new QFrame;
        iconFrame->setFrameShape(QFrame::StyledPanel);
        iconFrame->setFrameShadow(QFrame::Sunken);
        iconFrame->setFixedSize(40, 40);
        imMailerIcon = Named(new QLabel(iconFrame), "imMailerIcon", 28);
        imMailerIcon->setGeometry(4, 4, 32, 32);
        btMailerIconChange =
            Named(new QPushButton(UiString("OptionForm", "変更")), "btMailerIconChange", 28);
        btMailerIconChange->setFixedSize(75, 25);
        grid->addWidget(Label("laMailerPath", UiString("OptionForm", "メーラの場所"), 26), 0, 0);
        grid->addWidget(edMailerPath, 0, 1);
        grid->addWidget(sbMailerPathSearch, 0, 2);
        grid->addWidget(Label("laMailerOption", UiString("OptionForm", "起動オプション"), 80), 1,
                        0);
        grid->addWidget(edMailerOption, 1, 1, 1, 2);
        grid->addWidget(Label("laMailerIcon", UiString("OptionForm", "起動アイコン"), 28), 2, 0,
                        Qt::AlignTop | Qt::AlignLeft);
        auto* iconRow = new QHBoxLayout;
        iconRow->setSpacing(8);
        iconRow->addWidget(iconFrame);
        iconRow->addWidget(btMailerIconChange, 0, Qt::AlignBottom);
        iconRow->addStretch();
        grid->addLayout(iconRow, 2, 1, 1, 2);
        c.AddLayout(grid);
        c.End();
    }
    connect(sbMailerPathSearch, &QToolButton::clicked, this, &TOptionForm::sbMailerPathSearchClick);
    connect(btMailerIconChange, &QPushButton::clicked, this, &TOptionForm::btMailerIconChangeClick);

    pnCustomizeDialup = Named(new QWidget, "pnCustomizeDialup");
    {
        Column c(pnCustomizeDialup);
        c.Title(UiString("OptionForm", "メールチェック時 ダイヤルアップ"));
        rbCuDialNon =
            c.Add(Radio("rbCuDialNon", UiString("OptionForm", "ダイヤルアップ制御しない"), 103));
        rbCuDialNonMail = c.Add(Radio(
            "rbCuDialNonMail",
            UiString("OptionForm", "ダイヤルアップ接続されていない場合はメールをチェックしない"),
            15));
        rbCuDialAuto = c.Add(Radio(
            "rbCuDialAuto",
            UiString("OptionForm", "ダイヤルアップ接続されていない場合は自動的に接続処理を行う"),
            104));
        laCuDialLabel = Label("laCuDialLabel", UiString("OptionForm", "接続先"), 105);
        cbCuDialSelect = Named(new QComboBox, "cbCuDialSelect", 105);
        cbCuDialSelect->setMinimumWidth(220);
        c.Row({laCuDialLabel, cbCuDialSelect}, 2);
        // Shown when NetworkManager is not there, which greys the panel out.
        laCuDialService =
            Named(new QLabel(UiString("OptionForm",
                                      "ダイヤルアップの制御には NetworkManager が必要ですが、\n"
                                      "NetworkManager が動作していません。")),
                  "laCuDialService");
        laCuDialService->hide();
        c.Row({laCuDialService}, 1)->setContentsMargins(kIndent, 6, 0, 0);
        c.End();
    }

    customizePanels_ = new QStackedWidget;
    for (QWidget* panel : {pnCustomizeAction, pnCustomizeShow, pnCustomizeSound, pnCustomizeMailer,
                           pnCustomizeDialup})
        customizePanels_->addWidget(panel);

    const auto pageButton = [this](const char* name, const QString& text, QWidget* panel) {
        auto* button = Named(new PageButton, name);
        button->setText(text);
        pageButtons_.push_back({button, panel});
        // Chosen from the keyboard, the focus stays in the row.
        connect(button, &QToolButton::clicked, this,
                [this, button, panel] { ShowPage(panel, button, !button->hasFocus()); });
        return button;
    };
    sbCustomizeAction =
        pageButton("sbCustomizeAction", UiString("OptionForm", "動作"), pnCustomizeAction);
    sbCustomizeShow =
        pageButton("sbCustomizeShow", UiString("OptionForm", "表示"), pnCustomizeShow);
    sbCustomizeSound =
        pageButton("sbCustomizeSound", UiString("OptionForm", "サウンド"), pnCustomizeSound);
    sbCustomizeMailer =
        pageButton("sbCustomizeMailer", UiString("OptionForm", "メーラ"), pnCustomizeMailer);
    sbCustomizeDialup = pageButton("sbCustomizeDialup", UiString("OptionForm", "ダイヤルアップ"),
                                   pnCustomizeDialup);

    LayOutButtonPage(
        tsCustomize,
        HeaderPanel(1, UiString("OptionForm", "より使いやすくカスタマイズすることができます。")),
        {sbCustomizeAction, sbCustomizeShow, sbCustomizeSound, sbCustomizeMailer,
         sbCustomizeDialup},
        customizePanels_);
    return tsCustomize;
}

QWidget* TOptionForm::CreateSchedulePage() {
    tsSchedule = Named(new QWidget, "tsSchedule");

    pnScheduleAutoCheck = Named(new QWidget, "pnScheduleAutoCheck");
    {
        Column c(pnScheduleAutoCheck);
        c.Title(UiString("OptionForm", "自動メールチェック"));
        cbScheduleRun = c.Add(
            Check("cbScheduleRun", UiString("OptionForm", "起動時にメールをチェックする"), 22));
        cbScheduleDialup = c.Add(
            Check("cbScheduleDialup",
                  UiString("OptionForm", "ダイヤルアップ接続完了後にメールをチェックする"), 81));
        cbScheduleTime = c.Add(Check(
            "cbScheduleTime", UiString("OptionForm", "指定した間隔でメールをチェックする"), 23));
        laScheduleTime1 = Label("laScheduleTime1", UiString("OptionForm", "チェックする間隔"), 24);
        edScheduleTimeCount = Named(new QLineEdit, "edScheduleTimeCount", 24);
        laScheduleTime2 = Label("laScheduleTime2", UiString("OptionForm", "分毎"), 24);
        c.Row({laScheduleTime1, edScheduleTimeCount, laScheduleTime2}, 2);
        cbScheduleTimeInfo = c.Add(
            Check("cbScheduleTimeInfo",
                  UiString("OptionForm", "メールボックス情報を表示しているときはチェックしない"),
                  25),
            2);
        c.End();
    }

    pnScheduleCheckEnd = Named(new QWidget, "pnScheduleCheckEnd");
    {
        Column c(pnScheduleCheckEnd);
        c.Title(UiString("OptionForm", "メーラ起動"));
        cbMailerAutoRun = c.Add(Check(
            "cbMailerAutoRun",
            UiString("OptionForm", "メールチェック完了後、メールが届いていたらメーラを起動する"),
            78));
        cbMailerAutoRunSameCheck =
            c.Add(Check("cbMailerAutoRunSameCheck",
                        UiString("OptionForm", "新着メールが無い場合は起動しない"), 79),
                  2);
        c.Title(UiString("OptionForm", "メールボックス表示"));
        cbSettingAutoShow = c.Add(Check(
            "cbSettingAutoShow",
            UiString("OptionForm", "メールチェック完了後、メールボックス情報を表示する"), 11));
        cbSettingAutoShowCheck =
            c.Add(Check("cbSettingAutoShowCheck",
                        UiString("OptionForm", "メールが届いている時のみ表示する"), 12),
                  2);
        cbSettingAutoShowChange =
            c.Add(Check("cbSettingAutoShowChange",
                        UiString("OptionForm", "新着メールが無い場合は表示しない"), 13),
                  3);
        c.Title(UiString("OptionForm", "ダイヤルアップ切断"));
        cbSettingDeconnect = c.Add(Check(
            "cbSettingDeconnect",
            UiString("OptionForm", "メールチェック完了後、すべてのダイヤルアップ接続を切断する"),
            16));
        cbScDialExistingNonDisconnect = c.Add(
            Check("cbScDialExistingNonDisconnect",
                  UiString("OptionForm", "Pimの自動接続設定にて接続された場合のみ切断する"), 107),
            2);
        cbCuDialMailNonDisconnect =
            c.Add(Check("cbCuDialMailNonDisconnect",
                        UiString("OptionForm", "メールが届いているときは切断しない"), 108),
                  2);
        c.End();
    }

    schedulePanels_ = new QStackedWidget;
    schedulePanels_->addWidget(pnScheduleAutoCheck);
    schedulePanels_->addWidget(pnScheduleCheckEnd);

    const auto pageButton = [this](const char* name, const QString& text, QWidget* panel) {
        auto* button = Named(new PageButton, name);
        button->setText(text);
        pageButtons_.push_back({button, panel});
        // Chosen from the keyboard, the focus stays in the row.
        connect(button, &QToolButton::clicked, this,
                [this, button, panel] { ShowPage(panel, button, !button->hasFocus()); });
        return button;
    };
    sbScheduleAutoCheck = pageButton(
        "sbScheduleAutoCheck", UiString("OptionForm", "自動メールチェック"), pnScheduleAutoCheck);
    sbScheduleCheckEnd = pageButton(
        "sbScheduleCheckEnd", UiString("OptionForm", "メールチェック完了時"), pnScheduleCheckEnd);

    LayOutButtonPage(tsSchedule,
                     HeaderPanel(2, UiString("OptionForm",
                                             "時間やイベント毎に様々な処理をすることができます。")),
                     {sbScheduleAutoCheck, sbScheduleCheckEnd}, schedulePanels_);
    return tsSchedule;
}

QWidget* TOptionForm::CreateFpnPage() {
    tsFPN = Named(new QWidget, "tsFPN");
    auto* body = new QWidget;
    Column c(body);
    c.Title(UiString("OptionForm", "FernpostNetwork制御"));
    rbFPNNone =
        c.Add(Radio("rbFPNNone", UiString("OptionForm", "FernpostNetworkにログインしない"), 86));
    rbFPNLogin =
        c.Add(Radio("rbFPNLogin", UiString("OptionForm", "FernpostNetworkにログインする"), 87));
    cbFPNPassword = c.Add(
        Check("cbFPNPassword", UiString("OptionForm", "パスワードによる認証チェックを行う"), 88),
        2);
    laFPNPassword = Label("laFPNPassword", UiString("OptionForm", "パスワード"), 89);
    edFPNPassword = Named(new QLineEdit, "edFPNPassword", 89);
    ShowAsStars(edFPNPassword);
    edFPNPassword->setMinimumWidth(160);
    c.Row({laFPNPassword, edFPNPassword}, 3);
    c.End();

    auto* layout = new QVBoxLayout(tsFPN);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(4);
    layout->addWidget(HeaderPanel(
        3, UiString("OptionForm", "FPNにより、他のマシンから遠隔操作することができます。")));
    layout->addWidget(body, 1);
    return tsFPN;
}

} // namespace pim
