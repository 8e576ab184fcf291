#include "settings/OptionForm.h"

#include "common/Cp932.h"
#include "common/Numbers.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/ProgramIcons.h"
#include "platform/Sound.h"
#include "resources/Skin.h"
#include "settings/AccountForm.h"
#include "settings/IconForm.h"
#include "settings/OptionRules.h"
#include "settings/SettingsFile.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>

namespace pim {

namespace {

PIM_CP932_TEXT(CountOnlyQuestion,
               "メールの着信数のみをチェックする場合、新着メールチェック関連のオプションが"
               "使用できなくなります。\rよろしいですか？")
PIM_CP932_TEXT(DeleteQuestionStart, "アカウント「")
PIM_CP932_TEXT(DeleteQuestionEnd, "」を削除してもよろしいですか？")
PIM_CP932_TEXT(IntervalRange, "自動メールチェックの間隔は「1」～「999」の範囲で設定してください。")
PIM_CP932_TEXT(TimeoutRange, "タイムアウトの指定は「20」～「999」の範囲で設定してください。")
PIM_CP932_TEXT(ServiceFailed, "FernpostNetworkサービスを開始することができませんでした。")
PIM_CP932_TEXT(LoginFailed, "FernpostNetworkにログインすることができませんでした。")
PIM_CP932_TEXT(AccountsNextCheck, "アカウントの設定は次回チェック開始時より有効になります。")

// Both number edits hold three characters: 999 is the most they can show.
constexpr int kNumberChars = 3;
constexpr int kIndent = 14;
// A check box, radio button, group title or account is one line of 18 pixels.
constexpr int kRowHeight = 18;

// 9 points at 96 dots per inch. Pixels rather than points: the
// dialog has a fixed size, and its lines must fit whatever the screen's DPI says.
QFont DialogFont(bool bold = false) {
    QFont font = SkinFont(true, 9, bold);
    font.setPixelSize(12);
    return font;
}

QString U(const std::string& cp932Text) {
    return cp932::ToUnicode(cp932Text);
}

std::string B(const QString& text) {
    return cp932::FromUnicode(text);
}

// A number edit's value; a text that is no number reads as `fallback`.
int32_t EditNumber(const QLineEdit* edit, int32_t fallback) {
    return ReadInteger(B(edit->text()), fallback);
}

// A hand-edited value the edit cannot hold shows as the nearest one it can.
QString NumberText(int32_t value, int32_t lowest) {
    return QString::number(std::clamp(value, lowest, 999));
}

// `path` up to its last slash: the browse dialogs start in that folder.
QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

template <class W>
W* Named(W* widget, const char* name, int help = 0) {
    widget->setObjectName(QLatin1StringView(name));
    if (help > 0)
        SetHelpContext(widget, help);
    return widget;
}

QLabel* GroupTitle(const QString& caption) {
    auto* title = new QLabel(QStringLiteral("<span style=\"color:#ff0000\">■</span>"
                                            "<span style=\"color:#008080; font-weight:bold\">"
                                            "%1</span>")
                                 .arg(caption));
    title->setTextFormat(Qt::RichText);
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

// The small mark every page button shows beside its caption.
QIcon PageGlyph() {
    QPixmap glyph(9, 9);
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x30));
    painter.drawPolygon(QPolygon({QPoint(2, 1), QPoint(8, 4), QPoint(2, 8)}));
    return QIcon(glyph);
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

// The editor leaves the trimming to its caller; the password counts as typed.
void TakeFields(TAccount& account, const TOptionForm::AccountFields& fields) {
    account.Name = TrimAccountText(B(fields.Name));
    account.HostName = TrimAccountText(B(fields.HostName));
    account.UserID = TrimAccountText(B(fields.UserID));
    account.Password = B(fields.Password);
}

QListWidgetItem* AccountItem(const TAccount& account) {
    auto* item = new QListWidgetItem(U(account.Name));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(account.Enabled ? Qt::Checked : Qt::Unchecked);
    return item;
}

class AccountRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }
};

bool RunRealAccountForm(QWidget* parent, TOptionForm::AccountFields& fields) {
    TAccountForm form(parent);
    form.edName->setText(fields.Name);
    form.edHostName->setText(fields.HostName);
    form.edUserID->setText(fields.UserID);
    form.edPassword->setText(fields.Password);
    form.exec();
    if (form.Result != 0)
        return false;
    fields = {form.edName->text(), form.edHostName->text(), form.edUserID->text(),
              form.edPassword->text()};
    return true;
}

int RunRealIconForm(QWidget* parent, const QString& programPath) {
    TIconForm form(parent);
    form.Fill(programPath);
    form.exec();
    return form.Result;
}

QString RunRealFileDialog(QWidget* parent, const TOptionForm::FileRequest& request) {
    QFileDialog dialog(parent, request.Caption, request.Directory);
    // Qt's own dialog, so that the executables filter below works everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(request.Filters);
    const auto listFor = [&dialog, &request](const QString& filter) {
        QDir::Filters shown = QDir::AllDirs | QDir::Files | QDir::NoDot;
        if (request.ExecutablesFirst && filter == request.Filters.value(0))
            shown |= QDir::Executable;
        dialog.setFilter(shown);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, listFor);
    dialog.selectNameFilter(request.Filters.value(0));
    listFor(request.Filters.value(0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

TOptionForm::TOptionForm(OptionHost& host, DialupPhonebook& phonebook,
                         const std::string& profilePath, QWidget* parent)
    : QDialog(parent), host_(host), phonebook_(phonebook), profilePath_(profilePath) {
    RunAccountForm = [this](AccountFields& fields) { return RunRealAccountForm(this, fields); };
    RunIconForm = [this](const QString& path) { return RunRealIconForm(this, path); };
    RunFileDialog = [this](const FileRequest& request) { return RunRealFileDialog(this, request); };
    PlaySound = [](const QString& file) { PlayArrivalSound(2, file); };

    InitSkin();
    setWindowTitle(QStringLiteral("Pim -オプション-"));
    setFont(DialogFont());
    setFixedSize(421, 360);
    EnableContextHelp(this);
    CreateControls();
    FormShow();
}

TOptionForm::~TOptionForm() = default;

void TOptionForm::CreateControls() {
    tcOption = Named(new QTabWidget, "tcOption");
    tcOption->addTab(CreateAccountPage(), QStringLiteral("アカウント"));
    tcOption->addTab(CreateCustomizePage(), QStringLiteral("カスタマイズ"));
    tcOption->addTab(CreateSchedulePage(), QStringLiteral("スケジュール"));
    tcOption->addTab(CreateFpnPage(), QStringLiteral("FernpostNetwork"));

    btOk = Named(new QPushButton(QStringLiteral("設定")), "btOk", 27);
    btCancel = Named(new QPushButton(QStringLiteral("キャンセル")), "btCancel", 29);
    btUpdate = Named(new QPushButton(QStringLiteral("適用")), "btUpdate", 30);
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
    // Speed buttons: Tab passes them by, so Enter in a setting stays OK.
    for (QToolButton* b : findChildren<QToolButton*>())
        b->setFocusPolicy(Qt::NoFocus);
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
}

QWidget* TOptionForm::CreateAccountPage() {
    tsAccount = Named(new QWidget, "tsAccount");
    clAccount = Named(new QListWidget, "clAccount", 2);
    clAccount->setItemDelegate(new AccountRowDelegate(clAccount));
    clAccount->setUniformItemSizes(true);
    clAccount->setSelectionMode(QAbstractItemView::SingleSelection);
    btAccountUp = Named(new QPushButton(QStringLiteral("▲")), "btAccountUp", 3);
    btAccountDown = Named(new QPushButton(QStringLiteral("▼")), "btAccountDown", 4);
    btAdd = Named(new QPushButton(QStringLiteral("追加")), "btAdd", 5);
    btSetting = Named(new QPushButton(QStringLiteral("変更")), "btSetting", 7);
    btDelete = Named(new QPushButton(QStringLiteral("削除")), "btDelete", 6);
    for (QPushButton* b : {btAccountUp, btAccountDown})
        b->setFixedSize(28, 28);
    for (QPushButton* b : {btAdd, btSetting, btDelete})
        b->setFixedSize(75, 25);

    connect(clAccount, &QListWidget::itemSelectionChanged, this,
            &TOptionForm::UpdateAccountButtons);
    connect(clAccount, &QListWidget::itemChanged, this, &TOptionForm::clAccountItemChanged);
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

    auto* layout = new QVBoxLayout(tsAccount);
    layout->setContentsMargins(4, 4, 4, 6);
    layout->setSpacing(4);
    layout->addWidget(
        HeaderPanel(0, QStringLiteral("チェックするアカウントを複数設定することができます。")));
    layout->addSpacing(2);
    layout->addWidget(GroupTitle(QStringLiteral("メールチェック アカウント")));
    layout->addLayout(list, 1);
    layout->addLayout(edits);
    return tsAccount;
}

QWidget* TOptionForm::CreateCustomizePage() {
    tsCustomize = Named(new QWidget, "tsCustomize");
    const auto check = [](const char* name, const QString& text, int help) {
        return Named(new QCheckBox(text), name, help);
    };
    const auto radio = [](const char* name, const QString& text, int help) {
        return Named(new QRadioButton(text), name, help);
    };
    const auto label = [](const char* name, const QString& text, int help) {
        return Named(new QLabel(text), name, help);
    };

    pnCustomizeAction = Named(new QWidget, "pnCustomizeAction");
    {
        Column c(pnCustomizeAction);
        c.Title(QStringLiteral("一般動作"));
        cbSettingTask = c.Add(check("cbSettingTask", QStringLiteral("タスクトレイを利用する"), 8));
        cbSettingTaskbar = c.Add(
            check("cbSettingTaskbar", QStringLiteral("タスクバーにアイコンを表示しない"), 77), 2);
        cbSettingCountOnly = c.Add(
            check("cbSettingCountOnly", QStringLiteral("メールの着信数のみチェックする"), 76));
        cbSettingEndCheck =
            c.Add(check("cbSettingEndCheck", QStringLiteral("終了時に確認する"), 74));
        c.Title(QStringLiteral("タイムアウト"));
        cbScheduleTimeout =
            c.Add(check("cbScheduleTimeout",
                        QStringLiteral("メールチェックのタイムアウト時間を手動で設定する"), 82));
        laScheduleTimeout1 = label("laScheduleTimeout1", QStringLiteral("タイムアウト時間"), 83);
        edScheduleTimeoutCount = Named(new QLineEdit, "edScheduleTimeoutCount", 83);
        laScheduleTimeout2 = label("laScheduleTimeout2", QStringLiteral("秒"), 83);
        c.Row({laScheduleTimeout1, edScheduleTimeoutCount, laScheduleTimeout2}, 2);
        c.End();
    }

    pnCustomizeShow = Named(new QWidget, "pnCustomizeShow");
    {
        Column c(pnCustomizeShow);
        c.Title(QStringLiteral("ウィンドウ"));
        cbSettingAnimation = c.Add(
            check("cbSettingAnimation", QStringLiteral("ウィンドウをアニメーション表示する"), 10));
        cbSettingRunHide = c.Add(
            check("cbSettingRunHide", QStringLiteral("起動時にメインウィンドウを表示しない"), 9));
        cbSettingMailerMinimized =
            c.Add(check("cbSettingMailerMinimized",
                        QStringLiteral("メーラ起動時にメインウィンドウを最小化する"), 112));
        c.Title(QStringLiteral("メールリスト"));
        cbSettingInfoOpen =
            c.Add(check("cbSettingInfoOpen",
                        QStringLiteral("メールリストを表示する際に、自動的に詳細を展開する"), 14));
        cbSettingOldMailNotShow =
            c.Add(check("cbSettingOldMailNotShow",
                        QStringLiteral("新着メールのみをメールリストに表示する"), 84));
        cbSettingMailerHide =
            c.Add(check("cbSettingMailerHide",
                        QStringLiteral("メーラ起動時にメールリストの内容をクリアする"), 111));
        c.End();
    }

    pnCustomizeSound = Named(new QWidget, "pnCustomizeSound");
    {
        Column c(pnCustomizeSound);
        c.Title(QStringLiteral("メール着信サウンド"));
        rbSoundNone = c.Add(radio("rbSoundNone", QStringLiteral("サウンドを使用しない"), 17));
        rbSoundBeep = c.Add(radio("rbSoundBeep", QStringLiteral("BEEP音を鳴らす"), 18));
        rbSoundWave =
            c.Add(radio("rbSoundWave", QStringLiteral("指定したWAVEファイルを鳴らす"), 19));
        laSoundWave = label("laSoundWave", QStringLiteral("ファイル名"), 20);
        edSoundRecv = Named(new QLineEdit, "edSoundRecv", 20);
        edSoundRecv->setMinimumWidth(230);
        sbSoundTestRecv = Named(new QToolButton, "sbSoundTestRecv", 20);
        sbSoundTestRecv->setText(QStringLiteral("♪"));
        sbSoundTestRecv->setToolTip(QStringLiteral("サウンドテスト"));
        sbSoundSearchRecv = Named(new QToolButton, "sbSoundSearchRecv", 20);
        sbSoundSearchRecv->setText(QStringLiteral("…"));
        sbSoundSearchRecv->setToolTip(QStringLiteral("ファイル参照"));
        c.Row({laSoundWave, edSoundRecv, sbSoundTestRecv, sbSoundSearchRecv}, 2);
        c.Title(QStringLiteral("条件"));
        cbSoundSameCheck = c.Add(check(
            "cbSoundSameCheck", QStringLiteral("新着メールが無い場合はサウンドを鳴らさない"), 21));
        c.End();
    }
    connect(sbSoundTestRecv, &QToolButton::clicked, this, &TOptionForm::sbSoundTestRecvClick);
    connect(sbSoundSearchRecv, &QToolButton::clicked, this, &TOptionForm::sbSoundSearchRecvClick);

    pnCustomizeMailer = Named(new QWidget, "pnCustomizeMailer");
    {
        Column c(pnCustomizeMailer);
        c.Title(QStringLiteral("起動メーラ"));
        auto* grid = new QGridLayout;
        grid->setContentsMargins(kIndent, 4, 4, 0);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(6);
        edMailerPath = Named(new QLineEdit, "edMailerPath", 26);
        sbMailerPathSearch = Named(new QToolButton, "sbMailerPathSearch", 26);
        sbMailerPathSearch->setText(QStringLiteral("…"));
        sbMailerPathSearch->setToolTip(QStringLiteral("ファイル参照"));
        edMailerOption = Named(new QLineEdit, "edMailerOption", 80);
        auto* iconFrame = new QFrame;
        iconFrame->setFrameShape(QFrame::StyledPanel);
        iconFrame->setFrameShadow(QFrame::Sunken);
        iconFrame->setFixedSize(40, 40);
        imMailerIcon = Named(new QLabel(iconFrame), "imMailerIcon", 28);
        imMailerIcon->setGeometry(4, 4, 32, 32);
        btMailerIconChange =
            Named(new QPushButton(QStringLiteral("変更")), "btMailerIconChange", 28);
        btMailerIconChange->setFixedSize(75, 25);
        grid->addWidget(label("laMailerPath", QStringLiteral("メーラの場所"), 26), 0, 0);
        grid->addWidget(edMailerPath, 0, 1);
        grid->addWidget(sbMailerPathSearch, 0, 2);
        grid->addWidget(label("laMailerOption", QStringLiteral("起動オプション"), 80), 1, 0);
        grid->addWidget(edMailerOption, 1, 1, 1, 2);
        grid->addWidget(label("laMailerIcon", QStringLiteral("起動アイコン"), 28), 2, 0,
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
        c.Title(QStringLiteral("メールチェック時 ダイヤルアップ"));
        rbCuDialNon = c.Add(radio("rbCuDialNon", QStringLiteral("ダイヤルアップ制御しない"), 103));
        rbCuDialNonMail = c.Add(radio(
            "rbCuDialNonMail",
            QStringLiteral("ダイヤルアップ接続されていない場合はメールをチェックしない"), 15));
        rbCuDialAuto = c.Add(radio(
            "rbCuDialAuto",
            QStringLiteral("ダイヤルアップ接続されていない場合は自動的に接続処理を行う"), 104));
        laCuDialLabel = label("laCuDialLabel", QStringLiteral("接続先"), 105);
        cbCuDialSelect = Named(new QComboBox, "cbCuDialSelect", 105);
        cbCuDialSelect->setMinimumWidth(220);
        c.Row({laCuDialLabel, cbCuDialSelect}, 2);
        c.End();
    }

    customizePanels_ = new QStackedWidget;
    for (QWidget* panel : {pnCustomizeAction, pnCustomizeShow, pnCustomizeSound, pnCustomizeMailer,
                           pnCustomizeDialup})
        customizePanels_->addWidget(panel);

    const auto pageButton = [this](const char* name, const QString& text, QWidget* panel) {
        auto* button = Named(new QToolButton, name);
        button->setText(text);
        pageButtons_.push_back({button, panel});
        connect(button, &QToolButton::clicked, this,
                [this, button, panel] { ShowPage(panel, button, true); });
        return button;
    };
    sbCustomizeAction = pageButton("sbCustomizeAction", QStringLiteral("動作"), pnCustomizeAction);
    sbCustomizeShow = pageButton("sbCustomizeShow", QStringLiteral("表示"), pnCustomizeShow);
    sbCustomizeSound = pageButton("sbCustomizeSound", QStringLiteral("サウンド"), pnCustomizeSound);
    sbCustomizeMailer =
        pageButton("sbCustomizeMailer", QStringLiteral("メーラ"), pnCustomizeMailer);
    sbCustomizeDialup =
        pageButton("sbCustomizeDialup", QStringLiteral("ダイヤルアップ"), pnCustomizeDialup);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    for (QToolButton* b : {sbCustomizeAction, sbCustomizeShow, sbCustomizeSound, sbCustomizeMailer,
                           sbCustomizeDialup})
        row->addWidget(b);
    row->addStretch();
    auto* layout = new QVBoxLayout(tsCustomize);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(
        HeaderPanel(1, QStringLiteral("より使いやすくカスタマイズすることができます。")));
    layout->addLayout(row);
    layout->addWidget(customizePanels_, 1);
    return tsCustomize;
}

QWidget* TOptionForm::CreateSchedulePage() {
    tsSchedule = Named(new QWidget, "tsSchedule");
    const auto check = [](const char* name, const QString& text, int help) {
        return Named(new QCheckBox(text), name, help);
    };

    pnScheduleAutoCheck = Named(new QWidget, "pnScheduleAutoCheck");
    {
        Column c(pnScheduleAutoCheck);
        c.Title(QStringLiteral("自動メールチェック"));
        cbScheduleRun =
            c.Add(check("cbScheduleRun", QStringLiteral("起動時にメールをチェックする"), 22));
        cbScheduleDialup =
            c.Add(check("cbScheduleDialup",
                        QStringLiteral("ダイヤルアップ接続完了後にメールをチェックする"), 81));
        cbScheduleTime = c.Add(
            check("cbScheduleTime", QStringLiteral("指定した間隔でメールをチェックする"), 23));
        laScheduleTime1 =
            Named(new QLabel(QStringLiteral("チェックする間隔")), "laScheduleTime1", 24);
        edScheduleTimeCount = Named(new QLineEdit, "edScheduleTimeCount", 24);
        laScheduleTime2 = Named(new QLabel(QStringLiteral("分毎")), "laScheduleTime2", 24);
        c.Row({laScheduleTime1, edScheduleTimeCount, laScheduleTime2}, 2);
        cbScheduleTimeInfo =
            c.Add(check("cbScheduleTimeInfo",
                        QStringLiteral("メールボックス情報を表示しているときはチェックしない"), 25),
                  2);
        c.End();
    }

    pnScheduleCheckEnd = Named(new QWidget, "pnScheduleCheckEnd");
    {
        Column c(pnScheduleCheckEnd);
        c.Title(QStringLiteral("メーラ起動"));
        cbMailerAutoRun = c.Add(check(
            "cbMailerAutoRun",
            QStringLiteral("メールチェック完了後、メールが届いていたらメーラを起動する"), 78));
        cbMailerAutoRunSameCheck =
            c.Add(check("cbMailerAutoRunSameCheck",
                        QStringLiteral("新着メールが無い場合は起動しない"), 79),
                  2);
        c.Title(QStringLiteral("メールボックス表示"));
        cbSettingAutoShow =
            c.Add(check("cbSettingAutoShow",
                        QStringLiteral("メールチェック完了後、メールボックス情報を表示する"), 11));
        cbSettingAutoShowCheck = c.Add(
            check("cbSettingAutoShowCheck", QStringLiteral("メールが届いている時のみ表示する"), 12),
            2);
        cbSettingAutoShowChange =
            c.Add(check("cbSettingAutoShowChange",
                        QStringLiteral("新着メールが無い場合は表示しない"), 13),
                  3);
        c.Title(QStringLiteral("ダイヤルアップ切断"));
        cbSettingDeconnect = c.Add(check(
            "cbSettingDeconnect",
            QStringLiteral("メールチェック完了後、すべてのダイヤルアップ接続を切断する"), 16));
        cbScDialExistingNonDisconnect =
            c.Add(check("cbScDialExistingNonDisconnect",
                        QStringLiteral("Pimの自動接続設定にて接続された場合のみ切断する"), 107),
                  2);
        cbCuDialMailNonDisconnect =
            c.Add(check("cbCuDialMailNonDisconnect",
                        QStringLiteral("メールが届いているときは切断しない"), 108),
                  2);
        c.End();
    }

    schedulePanels_ = new QStackedWidget;
    schedulePanels_->addWidget(pnScheduleAutoCheck);
    schedulePanels_->addWidget(pnScheduleCheckEnd);

    const auto pageButton = [this](const char* name, const QString& text, QWidget* panel) {
        auto* button = Named(new QToolButton, name);
        button->setText(text);
        pageButtons_.push_back({button, panel});
        connect(button, &QToolButton::clicked, this,
                [this, button, panel] { ShowPage(panel, button, true); });
        return button;
    };
    sbScheduleAutoCheck = pageButton("sbScheduleAutoCheck", QStringLiteral("自動メールチェック"),
                                     pnScheduleAutoCheck);
    sbScheduleCheckEnd = pageButton("sbScheduleCheckEnd", QStringLiteral("メールチェック完了時"),
                                    pnScheduleCheckEnd);

    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(sbScheduleAutoCheck);
    row->addWidget(sbScheduleCheckEnd);
    row->addStretch();
    auto* layout = new QVBoxLayout(tsSchedule);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(
        HeaderPanel(2, QStringLiteral("時間やイベント毎に様々な処理をすることができます。")));
    layout->addLayout(row);
    layout->addWidget(schedulePanels_, 1);
    return tsSchedule;
}

QWidget* TOptionForm::CreateFpnPage() {
    tsFPN = Named(new QWidget, "tsFPN");
    auto* body = new QWidget;
    Column c(body);
    c.Title(QStringLiteral("FernpostNetwork制御"));
    rbFPNNone = c.Add(Named(new QRadioButton(QStringLiteral("FernpostNetworkにログインしない")),
                            "rbFPNNone", 86));
    rbFPNLogin = c.Add(
        Named(new QRadioButton(QStringLiteral("FernpostNetworkにログインする")), "rbFPNLogin", 87));
    cbFPNPassword = c.Add(Named(new QCheckBox(QStringLiteral("パスワードによる認証チェックを行う")),
                                "cbFPNPassword", 88),
                          2);
    laFPNPassword = Named(new QLabel(QStringLiteral("パスワード")), "laFPNPassword", 89);
    edFPNPassword = Named(new QLineEdit, "edFPNPassword", 89);
    edFPNPassword->setEchoMode(QLineEdit::Password);
    edFPNPassword->setMinimumWidth(160);
    c.Row({laFPNPassword, edFPNPassword}, 3);
    c.End();

    auto* layout = new QVBoxLayout(tsFPN);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(4);
    layout->addWidget(
        HeaderPanel(3, QStringLiteral("FPNにより、他のマシンから遠隔操作することができます。")));
    layout->addWidget(body, 1);
    return tsFPN;
}

void TOptionForm::FormShow() {
    const QIcon glyph = PageGlyph();
    for (const auto& [button, panel] : pageButtons_)
        button->setIcon(glyph);

    EditAccounts = TAccounts{};
    clAccount->clear();
    const int listed = ListedAccounts(Accounts);
    for (int i = 0; i < listed; ++i) {
        const TAccount& account = Accounts[size_t(i)];
        EditAccounts[size_t(i)] = account;
        clAccount->addItem(AccountItem(account));
    }

    const TSettings& s = Settings;
    cbSettingTask->setChecked(s.SettingTask);
    cbSettingTaskbar->setChecked(s.SettingTaskbar);
    cbSettingCountOnly->setChecked(s.SettingCountOnly);
    cbSettingEndCheck->setChecked(s.SettingEndCheck);
    cbScheduleTimeout->setChecked(s.ScheduleTimeout);
    edScheduleTimeoutCount->setText(NumberText(s.ScheduleTimeoutCount, 20));
    cbSettingAnimation->setChecked(s.SettingAnimation);
    cbSettingRunHide->setChecked(s.SettingRunHide);
    cbSettingMailerMinimized->setChecked(s.MailerMinimized);
    cbSettingInfoOpen->setChecked(s.SettingInfoOpen);
    cbSettingOldMailNotShow->setChecked(s.SettingOldMailNotShow);
    cbSettingMailerHide->setChecked(s.SettingMailerHide);
    rbSoundNone->setChecked(s.Kind == 0);
    rbSoundBeep->setChecked(s.Kind == 1);
    rbSoundWave->setChecked(s.Kind == 2);
    edSoundRecv->setText(U(s.WaveRecv));
    cbSoundSameCheck->setChecked(s.SameCheck);
    edMailerPath->setText(U(s.MailerPath)); // resets the icon; the saved one follows
    edMailerOption->setText(U(s.MailerOption));
    MailerIconIndex = s.MailerIcon;
    ShowMailerIcon();
    rbCuDialNon->setChecked(s.CustomizeDial == 0);
    rbCuDialNonMail->setChecked(s.CustomizeDial == 1);
    rbCuDialAuto->setChecked(s.CustomizeDial == 2);
    cbScheduleRun->setChecked(s.ScheduleRun);
    cbScheduleDialup->setChecked(s.ScheduleDialup);
    cbScheduleTime->setChecked(s.ScheduleTime);
    edScheduleTimeCount->setText(NumberText(s.ScheduleTimeCount, 1));
    cbScheduleTimeInfo->setChecked(s.ScheduleTimeInfo);
    cbMailerAutoRun->setChecked(s.MailerAutoRun);
    cbMailerAutoRunSameCheck->setChecked(s.MailerAutoRunSameCheck);
    cbSettingAutoShow->setChecked(s.SettingAutoShow);
    cbSettingAutoShowCheck->setChecked(s.SettingAutoShowCheck);
    cbSettingAutoShowChange->setChecked(s.SettingAutoShowChange);
    cbSettingDeconnect->setChecked(s.SettingDeconnect);
    cbScDialExistingNonDisconnect->setChecked(s.DialExistingNonDisconnect);
    cbCuDialMailNonDisconnect->setChecked(s.DialMailNonDisconnect);

    cbCuDialSelect->clear();
    int selected = -1;
    for (int i = 0; i < phonebook_.EntryCount(); ++i) {
        const std::string name = phonebook_.GetEntryName(i);
        // The entry's own bytes go back to the file, not the shown text's conversion.
        cbCuDialSelect->addItem(U(name), QByteArray::fromStdString(name));
        if (name == s.CustomizeDialName)
            selected = i;
    }
    cbCuDialSelect->setCurrentIndex(selected);
    if (phonebook_.ServiceError())
        for (QWidget* w : std::initializer_list<QWidget*>{rbCuDialNonMail, rbCuDialAuto,
                                                          cbScheduleDialup, cbSettingDeconnect})
            w->setEnabled(false);

    (s.Login ? rbFPNLogin : rbFPNNone)->setChecked(true);
    cbFPNPassword->setChecked(s.PasswordCheck);
    edFPNPassword->setText(U(s.Password));

    ShowPage(pnCustomizeAction, sbCustomizeAction, false);
    ShowPage(pnScheduleAutoCheck, sbScheduleAutoCheck, false);
    ApplyEnablingRules();
    UpdateAccountButtons();
    tcOption->setCurrentWidget(tsAccount);

    btUpdate->setEnabled(false);
    AccountsChanged = false;
}

void TOptionForm::ShowPage(QWidget* panel, QToolButton* button, bool moveFocus) {
    auto* stack = static_cast<QStackedWidget*>(panel->parentWidget());
    stack->setCurrentWidget(panel);
    for (const auto& [b, p] : pageButtons_) {
        if (p->parentWidget() != stack)
            continue;
        QFont font = b->font();
        font.setBold(true);
        font.setUnderline(b == button);
        b->setFont(font);
        QPalette palette = b->palette();
        palette.setColor(QPalette::ButtonText,
                         b == button ? QColor(0xFF, 0, 0) : QColor(0, 0, 0xFF));
        b->setPalette(palette);
    }
    if (!moveFocus)
        return;
    QWidget* target = nullptr;
    if (panel == pnCustomizeAction)
        target = cbSettingTask;
    else if (panel == pnCustomizeShow)
        target = cbSettingAnimation;
    else if (panel == pnCustomizeSound)
        target = rbSoundNone->isChecked()   ? rbSoundNone
                 : rbSoundBeep->isChecked() ? rbSoundBeep
                 : rbSoundWave->isChecked() ? rbSoundWave
                                            : nullptr;
    else if (panel == pnCustomizeMailer)
        target = edMailerPath;
    else if (panel == pnCustomizeDialup)
        target = rbCuDialNon->isChecked()       ? rbCuDialNon
                 : rbCuDialNonMail->isChecked() ? rbCuDialNonMail
                                                : rbCuDialAuto;
    else if (panel == pnScheduleAutoCheck)
        target = cbScheduleRun;
    else if (panel == pnScheduleCheckEnd)
        target = cbMailerAutoRun;
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

void TOptionForm::ApplyEnablingRules() {
    OptionChecks c;
    c.ScheduleTime = cbScheduleTime->isChecked();
    c.ScheduleTimeout = cbScheduleTimeout->isChecked();
    c.SettingTask = cbSettingTask->isChecked();
    c.SettingAutoShow = cbSettingAutoShow->isChecked();
    c.SettingAutoShowCheck = cbSettingAutoShowCheck->isChecked();
    c.SettingCountOnly = cbSettingCountOnly->isChecked();
    c.MailerAutoRun = cbMailerAutoRun->isChecked();
    c.Sound = rbSoundNone->isChecked()   ? 0
              : rbSoundBeep->isChecked() ? 1
              : rbSoundWave->isChecked() ? 2
                                         : -1;
    c.Dial = rbCuDialNon->isChecked()       ? 0
             : rbCuDialNonMail->isChecked() ? 1
             : rbCuDialAuto->isChecked()    ? 2
                                            : -1;
    c.SettingDeconnect = cbSettingDeconnect->isChecked();
    c.FPNLogin = rbFPNLogin->isChecked();
    c.FPNPassword = cbFPNPassword->isChecked();
    const OptionEnabling e = EnablingFor(c);

    // A disabled label is drawn in the grey of disabled text.
    const auto enable = [](std::initializer_list<QWidget*> widgets, bool on) {
        for (QWidget* w : widgets)
            w->setEnabled(on);
    };
    enable({laScheduleTime1, edScheduleTimeCount, laScheduleTime2, cbScheduleTimeInfo},
           e.ScheduleTimeCount);
    enable({laScheduleTimeout1, edScheduleTimeoutCount, laScheduleTimeout2},
           e.ScheduleTimeoutCount);
    enable({cbSettingTaskbar}, e.SettingTaskbar);
    enable({cbSettingAutoShowCheck}, e.SettingAutoShowCheck);
    enable({cbSettingAutoShowChange}, e.SettingAutoShowChange);
    enable({cbMailerAutoRunSameCheck}, e.MailerAutoRunSameCheck);
    enable({cbSettingOldMailNotShow}, e.SettingOldMailNotShow);
    enable({laSoundWave, edSoundRecv, sbSoundTestRecv, sbSoundSearchRecv}, e.SoundFile);
    enable({cbSoundSameCheck}, e.SoundSameCheck);
    enable({laCuDialLabel, cbCuDialSelect}, e.DialSelect);
    enable({cbScDialExistingNonDisconnect, cbCuDialMailNonDisconnect}, e.DeconnectDetail);
    enable({cbFPNPassword}, e.FPNPasswordCheck);
    enable({laFPNPassword, edFPNPassword}, e.FPNPasswordEdit);
}

void TOptionForm::SettingChanged() {
    btUpdate->setEnabled(true);
}

void TOptionForm::cbSettingCountOnlyClick(bool checked) {
    if (checked && MessageBox(this, CountOnlyQuestion(), mb::YesNo | mb::IconQuestion) == IDNO)
        cbSettingCountOnly->setChecked(false);
    ApplyEnablingRules();
    SettingChanged();
}

int TOptionForm::SelectedAccount() const {
    const QList<QListWidgetItem*> selected = clAccount->selectedItems();
    return selected.isEmpty() ? -1 : clAccount->row(selected.constFirst());
}

void TOptionForm::UpdateAccountButtons() {
    const AccountButtons b = AccountButtonsFor(SelectedAccount(), clAccount->count());
    btAccountUp->setEnabled(b.Up);
    btAccountDown->setEnabled(b.Down);
    btSetting->setEnabled(b.Change);
    btDelete->setEnabled(b.Delete);
    btAdd->setEnabled(b.Add);
}

void TOptionForm::clAccountItemChanged(QListWidgetItem* item) {
    const int row = clAccount->row(item);
    if (row < 0 || row >= kMaxAccounts)
        return;
    TAccount& account = EditAccounts[size_t(row)];
    const bool enabled = item->checkState() == Qt::Checked;
    // Texts change too; only a new check state is a change of the account.
    if (account.Enabled == enabled)
        return;
    account.Enabled = enabled;
    AccountsChanged = true;
    SettingChanged();
}

void TOptionForm::btAddClick() {
    const int row = clAccount->count();
    if (row >= kMaxAccounts)
        return;
    AccountFields fields;
    if (!RunAccountForm(fields))
        return;
    TAccount& account = EditAccounts[size_t(row)];
    account.Enabled = true;
    TakeFields(account, fields);
    clAccount->addItem(AccountItem(account));
    AccountsChanged = true;
    UpdateAccountButtons();
    SettingChanged();
}

void TOptionForm::btSettingClick() {
    const int row = SelectedAccount();
    if (row < 0)
        return;
    TAccount& account = EditAccounts[size_t(row)];
    AccountFields fields{U(account.Name), U(account.HostName), U(account.UserID),
                         U(account.Password)};
    if (!RunAccountForm(fields))
        return;
    TakeFields(account, fields);
    QListWidgetItem* item = clAccount->item(row);
    item->setText(U(account.Name));
    item->setCheckState(account.Enabled ? Qt::Checked : Qt::Unchecked);
    AccountsChanged = true;
    SettingChanged();
}

void TOptionForm::btDeleteClick() {
    const int row = SelectedAccount();
    if (row < 0)
        return;
    const std::string question =
        DeleteQuestionStart() + B(clAccount->item(row)->text()) + DeleteQuestionEnd();
    if (MessageBox(this, question, mb::YesNo | mb::IconQuestion) == IDNO)
        return;
    DeleteAccount(EditAccounts, row);
    delete clAccount->takeItem(row);
    clAccount->setCurrentRow(-1);
    clAccount->clearSelection();
    AccountsChanged = true;
    UpdateAccountButtons();
    SettingChanged();
}

void TOptionForm::MoveAccount(int by) {
    const int row = SelectedAccount();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= clAccount->count())
        return;
    std::swap(EditAccounts[size_t(row)], EditAccounts[size_t(to)]);
    // The item moves whole, text and check box; the order alone is no account change.
    QListWidgetItem* item = clAccount->takeItem(row);
    clAccount->insertItem(to, item);
    clAccount->setCurrentRow(to);
    UpdateAccountButtons();
    SettingChanged();
}

void TOptionForm::sbSoundTestRecvClick() {
    PlaySound(edSoundRecv->text());
}

void TOptionForm::sbSoundSearchRecvClick() {
    const QString file = RunFileDialog(
        {QStringLiteral("サウンド参照"),
         {QStringLiteral("サウンドファイル(*.wav)"), QStringLiteral("すべてのファイル(*)")},
         FolderOf(edSoundRecv->text())});
    if (!file.isEmpty())
        edSoundRecv->setText(file);
}

void TOptionForm::sbMailerPathSearchClick() {
    const QString file =
        RunFileDialog({QStringLiteral("メーラ参照"),
                       {QStringLiteral("実行ファイル(*)"), QStringLiteral("すべてのファイル(*)")},
                       FolderOf(edMailerPath->text()),
                       true});
    if (!file.isEmpty())
        edMailerPath->setText(file);
}

void TOptionForm::edMailerPathChange() {
    MailerIconIndex = 0;
    ShowMailerIcon();
}

void TOptionForm::btMailerIconChangeClick() {
    const int picked = RunIconForm(edMailerPath->text());
    if (picked < 0)
        return;
    MailerIconIndex = picked;
    ShowMailerIcon();
    SettingChanged();
}

void TOptionForm::ShowMailerIcon() {
    // Like the icons of a program file: none for a file that is not there.
    const QString path = edMailerPath->text();
    const QIcon icon = QFileInfo(path).isFile() ? ProgramIcon(path, MailerIconIndex) : QIcon();
    imMailerIcon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(32, 32));
}

void TOptionForm::btOkClick() {
    if (btUpdate->isEnabled()) {
        ApplySettings();
        // A file that could not be written leaves Apply enabled: stay, as after a
        // validation error, so that nothing the user entered is lost unseen.
        if (ApplyFailed || btUpdate->isEnabled())
            return;
    }
    accept();
}

void TOptionForm::ApplySettings() {
    ApplyFailed = false;
    if (cbScheduleTime->isChecked() && EditNumber(edScheduleTimeCount, 0) < 1) {
        tcOption->setCurrentWidget(tsSchedule);
        ShowPage(pnScheduleAutoCheck, sbScheduleAutoCheck, false);
        edScheduleTimeCount->setFocus(Qt::OtherFocusReason);
        MessageBox(this, IntervalRange(), mb::Ok | mb::IconExclamation);
        ApplyFailed = true;
        return;
    }
    if (cbScheduleTimeout->isChecked() && EditNumber(edScheduleTimeoutCount, 0) < 20) {
        tcOption->setCurrentWidget(tsCustomize);
        ShowPage(pnCustomizeAction, sbCustomizeAction, false);
        edScheduleTimeoutCount->setFocus(Qt::OtherFocusReason);
        MessageBox(this, TimeoutRange(), mb::Ok | mb::IconExclamation);
        ApplyFailed = true;
        return;
    }

    const int listed = std::min(clAccount->count(), kMaxAccounts);
    for (int i = 0; i < kMaxAccounts; ++i)
        Accounts[size_t(i)] = i < listed ? EditAccounts[size_t(i)] : TAccount{};

    TSettings& s = Settings;
    const bool oldTask = s.SettingTask;
    const bool oldTaskbar = s.SettingTaskbar;
    s.SettingTask = cbSettingTask->isChecked();
    s.SettingTaskbar = cbSettingTaskbar->isChecked();
    s.SettingCountOnly = cbSettingCountOnly->isChecked();
    s.SettingEndCheck = cbSettingEndCheck->isChecked();
    s.ScheduleTimeout = cbScheduleTimeout->isChecked();
    s.ScheduleTimeoutCount = EditNumber(edScheduleTimeoutCount, 1);
    s.SettingAnimation = cbSettingAnimation->isChecked();
    s.SettingRunHide = cbSettingRunHide->isChecked();
    s.MailerMinimized = cbSettingMailerMinimized->isChecked();
    s.SettingInfoOpen = cbSettingInfoOpen->isChecked();
    s.SettingOldMailNotShow = cbSettingOldMailNotShow->isChecked();
    s.SettingMailerHide = cbSettingMailerHide->isChecked();
    s.Kind = rbSoundNone->isChecked() ? 0 : rbSoundBeep->isChecked() ? 1 : 2;
    s.WaveRecv = B(edSoundRecv->text());
    s.SameCheck = cbSoundSameCheck->isChecked();
    s.MailerPath = B(edMailerPath->text());
    s.MailerOption = B(edMailerOption->text());
    s.MailerIcon = MailerIconIndex;
    s.CustomizeDial = rbCuDialNon->isChecked() ? 0 : rbCuDialNonMail->isChecked() ? 1 : 2;
    s.CustomizeDialName = cbCuDialSelect->currentData().toByteArray().toStdString();
    s.ScheduleRun = cbScheduleRun->isChecked();
    s.ScheduleDialup = cbScheduleDialup->isChecked();
    s.ScheduleTime = cbScheduleTime->isChecked();
    // An interval below one minute means nothing, whether the check is on or not.
    s.ScheduleTimeCount = std::max(EditNumber(edScheduleTimeCount, 1), 1);
    s.ScheduleTimeInfo = cbScheduleTimeInfo->isChecked();
    s.MailerAutoRun = cbMailerAutoRun->isChecked();
    s.MailerAutoRunSameCheck = cbMailerAutoRunSameCheck->isChecked();
    s.SettingAutoShow = cbSettingAutoShow->isChecked();
    s.SettingAutoShowCheck = cbSettingAutoShowCheck->isChecked();
    s.SettingAutoShowChange = cbSettingAutoShowChange->isChecked();
    s.SettingDeconnect = cbSettingDeconnect->isChecked();
    s.DialExistingNonDisconnect = cbScDialExistingNonDisconnect->isChecked();
    s.DialMailNonDisconnect = cbCuDialMailNonDisconnect->isChecked();
    s.Login = rbFPNLogin->isChecked();
    s.PasswordCheck = cbFPNPassword->isChecked();
    s.Password = B(edFPNPassword->text());

    std::string error;
    if (!SaveSettings(profilePath_, Settings, Accounts, &error)) {
        MessageBox(this, error, mb::Ok | mb::IconExclamation);
        return;
    }
    btUpdate->setEnabled(false);

    host_.SetPop3TimeOut(s.ScheduleTimeout ? s.ScheduleTimeoutCount * 1000 : 60000);
    host_.ShowMailerButton();
    if (s.SettingTask != oldTask)
        host_.ShowTrayIcon(s.SettingTask);
    if (s.SettingTask != oldTask || s.SettingTaskbar != oldTaskbar)
        host_.ApplyTaskbarMode(this);
    host_.UpdateStatusLine();
    host_.SetDialupWatching(s.ScheduleDialup);
    if (!s.Login) {
        host_.FpnLogoutAndClose();
    } else if (!host_.FpnLoggedIn()) {
        if (!host_.FpnOpen())
            MessageBox(this, ServiceFailed(), mb::Ok | mb::IconExclamation);
        else if (!host_.FpnLogin())
            MessageBox(this, LoginFailed(), mb::Ok | mb::IconExclamation);
    }
    if (host_.CheckIndex() >= 0 && AccountsChanged) {
        MessageBox(this, AccountsNextCheck(), mb::Ok | mb::IconInformation);
        AccountsChanged = false;
    }
}

} // namespace pim
