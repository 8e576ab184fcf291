#include "settings/OptionForm.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Autostart.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/OnlineAccounts.h"
#include "platform/ProgramIcons.h"
#include "platform/Sound.h"
#include "resources/Skin.h"
#include "settings/AccountForm.h"
#include "settings/DialogFrame.h"
#include "settings/IconForm.h"
#include "settings/OptionFormParts.h"
#include "settings/OptionRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>

namespace pim {

namespace option_parts {

// 9 points at 96 dots per inch. Pixels rather than points: the
// dialog has a fixed size, and its lines must fit whatever the screen's DPI says.

QString U(const std::string& cp932Text) {
    return cp932::ToUnicode(cp932Text);
}

std::string B(const QString& text) {
    return cp932::FromUnicode(text);
}

std::string Kept(const QString& text, const std::string& original) {
    return text == U(original) ? original : B(text);
}

} // namespace option_parts

namespace {

using option_parts::B;
using option_parts::Kept;
using option_parts::U;

const std::string& CountOnlyQuestion() {
    return UiText("OptionForm",
                  "メールの着信数のみをチェックする場合、新着メールチェック関連のオプションが"
                  "使用できなくなります。\rよろしいですか？");
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

const std::string& OfferAutostart() {
    return UiText("OptionForm", "ログイン時に Pim を起動して、いつも新着メールを見張りますか？\r"
                                "（「ログイン時にPimを起動する」でいつでも変えられます）");
}

// The editor leaves the trimming to its caller; the password counts as typed.
// True when the account's secret is no longer the one it had.
bool TakeFields(TAccount& account, const TOptionForm::AccountFields& fields) {
    const TAccount before = account;
    const std::string host = TrimAccountText(Kept(fields.HostName, account.HostName));
    // What was learnt of one server's TLS says nothing of another.
    if (host != account.HostName || fields.ForgetLearnt)
        ForgetSecurity(account);
    account.Name = TrimAccountText(Kept(fields.Name, account.Name));
    account.HostName = host;
    account.UserID = TrimAccountText(Kept(fields.UserID, account.UserID));
    account.Password = Kept(fields.Password, account.Password);
    const auto text = [](const QString& value) { return value.trimmed().toStdString(); };
    account.Auth = fields.Auth;
    account.OAuthAuthorizeUrl = text(fields.AuthorizeUrl);
    account.OAuthTokenUrl = text(fields.TokenUrl);
    account.OAuthClientId = text(fields.ClientId);
    account.OAuthClientSecret = text(fields.ClientSecret);
    account.OAuthScope = text(fields.Scope);
    // A grant is the provider's for that client and user: another needs a sign-in.
    const bool grantGone = account.Auth != before.Auth ||
                           account.OAuthTokenUrl != before.OAuthTokenUrl ||
                           account.OAuthClientId != before.OAuthClientId ||
                           account.HostName != before.HostName || account.UserID != before.UserID;
    if (grantGone)
        account.OAuthRefreshToken.clear();
    // Nor is what the keyring holds for it the new one's: a grant, or a secret of the other kind.
    const bool keyringStale =
        grantGone && (before.Auth == AccountAuth::OAuth2 || account.Auth == AccountAuth::OAuth2);
    if (keyringStale)
        account.Keyring.reset();
    if (!fields.Grant.empty())
        account.OAuthRefreshToken = fields.Grant;
    return keyringStale || account.Password != before.Password ||
           account.OAuthRefreshToken != before.OAuthRefreshToken;
}

AccountAuth SignInOf(TOptionForm::AccountFields& fields, const TAccount& account) {
    fields.AuthorizeUrl = U(account.OAuthAuthorizeUrl);
    fields.TokenUrl = U(account.OAuthTokenUrl);
    fields.ClientId = U(account.OAuthClientId);
    fields.ClientSecret = U(account.OAuthClientSecret);
    fields.Scope = U(account.OAuthScope);
    return fields.Auth = account.Auth;
}

// `origin`: the account's slot in the program's Accounts, -1 for one added here.
QListWidgetItem* AccountItem(const TAccount& account, int origin) {
    auto* item = new QListWidgetItem(U(account.Name));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(account.Enabled ? Qt::Checked : Qt::Unchecked);
    item->setData(option_parts::kOriginRole, origin);
    return item;
}

bool RunRealAccountForm(QWidget* parent, TOptionForm::AccountFields& fields) {
    TAccountForm form(parent);
    form.edName->setText(fields.Name);
    form.edHostName->setText(fields.HostName);
    form.edUserID->setText(fields.UserID);
    form.edPassword->setText(fields.Password);
    if (fields.Password.isEmpty() && fields.Learnt.Keyring)
        form.edPassword->setPlaceholderText(UiString("OptionForm", "キーリングに保存されています"));
    form.ShowSignIn(
        fields.Auth,
        {fields.AuthorizeUrl, fields.TokenUrl, fields.ClientId, fields.ClientSecret, fields.Scope},
        !fields.Learnt.OAuthRefreshToken.empty() || fields.Learnt.Keyring.has_value());
    form.ShowLearnt(fields.Learnt);
    if (!fields.Learnt.OnlineAccount.empty())
        form.ShowBound();
    form.exec();
    if (form.Result != 0)
        return false;
    fields = {form.edName->text(),     form.edHostName->text(), form.edUserID->text(),
              form.edPassword->text(), fields.Learnt,           form.Forgotten};
    const OAuthClient client = form.SignInClient();
    fields.Auth = form.Auth();
    fields.AuthorizeUrl = client.authorizeUrl;
    fields.TokenUrl = client.tokenUrl;
    fields.ClientId = client.clientId;
    fields.ClientSecret = client.clientSecret;
    fields.Scope = client.scope;
    fields.Grant = form.Grant();
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
    : QDialog(parent, kDialogFlags), host_(host), phonebook_(phonebook), profilePath_(profilePath) {
    RunAccountForm = [this](AccountFields& fields) { return RunRealAccountForm(this, fields); };
    ChooseAddition = [this] { return ChooseRealAddition(); };
    // Asked now: the desktop may need a moment to start.
    if (OnlineAccounts* online = host_.Online())
        online->Refresh();
    RunIconForm = [this](const QString& path) { return RunRealIconForm(this, path); };
    RunFileDialog = [this](const FileRequest& request) { return RunRealFileDialog(this, request); };
    PlaySound = [](const QString& file) { PlayArrivalSound(2, file); };
    AutostartProgram = QCoreApplication::applicationFilePath();

    InitSkin();
    FrameDialog(*this, UiString("OptionForm", "Pim -オプション-"), 421, 360);
    EnableContextHelp(this);
    CreateControls();
    FormShow();
}

TOptionForm::~TOptionForm() = default;

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
        clAccount->addItem(AccountItem(account, i));
    }

    const TSettings& s = Settings;
    cbSettingTask->setChecked(s.SettingTask);
    cbSettingTaskbar->setChecked(s.SettingTaskbar);
    cbSettingCountOnly->setChecked(s.SettingCountOnly);
    cbSettingEndCheck->setChecked(s.SettingEndCheck);
    startAtLogin_ = AutostartOn(AutostartProgram);
    cbStartAtLogin->setChecked(startAtLogin_);
    cbScheduleTimeout->setChecked(s.ScheduleTimeout);
    edScheduleTimeoutCount->setText(NumberText(s.ScheduleTimeoutCount, 20));
    cbSettingAnimation->setChecked(s.SettingAnimation);
    cbSettingRunHide->setChecked(s.SettingRunHide);
    cbSettingMailerMinimized->setChecked(s.MailerMinimized);
    cbSettingInfoOpen->setChecked(s.SettingInfoOpen);
    cbSettingOldMailNotShow->setChecked(s.SettingOldMailNotShow);
    cbSettingNewestFirst->setChecked(s.SettingNewestFirst);
    cbSettingMailerHide->setChecked(s.SettingMailerHide);
    rbSoundNone->setChecked(s.Kind == 0);
    rbSoundBeep->setChecked(s.Kind == 1);
    rbSoundWave->setChecked(s.Kind == 2);
    edSoundRecv->setText(U(s.WaveRecv));
    cbSoundSameCheck->setChecked(s.SameCheck);
    cbSettingNotification->setChecked(s.SettingNotification);
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
    // NetworkManager has not answered yet: the saved choice stays, not an empty one.
    if (phonebook_.EntryCount() < 0 && !phonebook_.ServiceError() && !s.CustomizeDialName.empty()) {
        cbCuDialSelect->addItem(U(s.CustomizeDialName),
                                QByteArray::fromStdString(s.CustomizeDialName));
        selected = 0;
    }
    cbCuDialSelect->setCurrentIndex(selected);
    laCuDialService->setVisible(phonebook_.ServiceError());
    if (phonebook_.ServiceError())
        for (QWidget* w : std::initializer_list<QWidget*>{rbCuDialNonMail, rbCuDialAuto,
                                                          cbScheduleDialup, cbSettingDeconnect})
            w->setEnabled(false);

    cbSettingKeyring->setChecked(s.SettingKeyring);
    const bool keyring = host_.KeyringAvailable();
    cbSettingKeyring->setEnabled(keyring);
    laKeyringService->setVisible(!keyring);

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
    button->setChecked(true);
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
    c.SettingNotification = cbSettingNotification->isChecked();
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

std::optional<QString> TOptionForm::ChooseRealAddition() {
    OnlineAccounts* online = host_.Online();
    if (!online || online->MailAccounts().empty())
        return QString();
    QMenu menu(this);
    menu.addAction(UiString("OptionForm", "新しいアカウント(&N)..."))->setData(QString());
    QMenu* desktop = menu.addMenu(UiString("OptionForm", "オンラインアカウントから追加"));
    for (const OnlineMailAccount& m : online->MailAccounts()) {
        const QString why = !m.mailOn ? UiString("OptionForm", "メールがオフ") : m.refusal;
        QAction* item =
            desktop->addAction(QStringLiteral("%1 (%2)").arg(m.identity, m.provider) +
                               (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        item->setData(m.id);
        item->setEnabled(why.isEmpty());
    }
    const QAction* chosen = menu.exec(btAdd->mapToGlobal(QPoint(0, btAdd->height())));
    return chosen ? std::optional(chosen->data().toString()) : std::nullopt;
}

void TOptionForm::btAddClick() {
    const int row = clAccount->count();
    if (row >= kMaxAccounts)
        return;
    const std::optional<QString> addition = ChooseAddition();
    if (!addition)
        return;
    TAccount& account = EditAccounts[size_t(row)];
    if (addition->isEmpty()) {
        AccountFields fields;
        if (!RunAccountForm(fields))
            return;
        account.Enabled = true;
        TakeFields(account, fields);
    } else {
        // Bound to the desktop's account: its server and user follow it, and
        // it keeps the secrets.
        const OnlineMailAccount* online =
            host_.Online() ? host_.Online()->Find(*addition) : nullptr;
        if (!online)
            return;
        account = {true, cp932::FromUnicode(online->identity), online->server.toStdString(),
                   cp932::FromUnicode(online->user), ""};
        account.OnlineAccount = addition->toStdString();
    }
    clAccount->addItem(AccountItem(account, -1));
    // The new account chosen, for a change or a move right away.
    clAccount->setCurrentRow(row);
    clAccount->setFocus(Qt::OtherFocusReason);
    AccountsChanged = true;
    UpdateAccountButtons();
    SettingChanged();
    // Watching only helps while Pim runs: the first account is when to offer it.
    if (row == 0 && !cbStartAtLogin->isChecked() &&
        MessageBox(this, OfferAutostart(), mb::YesNo | mb::IconQuestion) == IDYES)
        cbStartAtLogin->setChecked(true);
}

void TOptionForm::btSettingClick() {
    const int row = SelectedAccount();
    if (row < 0)
        return;
    TAccount& account = EditAccounts[size_t(row)];
    AccountFields fields{U(account.Name), U(account.HostName), U(account.UserID),
                         U(account.Password), account};
    SignInOf(fields, account);
    if (!RunAccountForm(fields))
        return;
    QListWidgetItem* item = clAccount->item(row);
    if (TakeFields(account, fields))
        item->setData(option_parts::kPasswordTypedRole, true);
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
        B(UiString("OptionForm", "アカウント「%1」を削除してもよろしいですか？")
              .arg(clAccount->item(row)->text()));
    // No is the default: Enter alone deletes nothing.
    if (MessageBox(this, question, mb::YesNo | mb::IconQuestion | mb::DefButton2) != IDYES)
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
    const QString file = RunFileDialog({UiString("OptionForm", "サウンド参照"),
                                        {UiString("OptionForm", "サウンドファイル(*.wav)"),
                                         UiString("OptionForm", "すべてのファイル(*)")},
                                        FolderOf(edSoundRecv->text())});
    if (!file.isEmpty())
        edSoundRecv->setText(file);
}

void TOptionForm::sbMailerPathSearchClick() {
    const QString file = RunFileDialog(
        {UiString("OptionForm", "メーラ参照"),
         {UiString("OptionForm", "実行ファイル(*)"), UiString("OptionForm", "すべてのファイル(*)")},
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

} // namespace pim
