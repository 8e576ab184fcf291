<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Accessibility</name>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>Account</name>
    <message>
        <source>オンラインアカウントで再度サインインしてください</source>
        <translation>Sign in again in Online Accounts</translation>
    </message>
    <message>
        <source>オンラインアカウントでサーバが変わりました</source>
        <translation>The server changed in Online Accounts</translation>
    </message>
</context>
<context>
    <name>AccountForm</name>
    <message>
        <source>表示名を入力してください。</source>
        <translation>Please enter a name.</translation>
    </message>
    <message>
        <source>ホスト名を入力してください。</source>
        <translation>Please enter the POP3 server.</translation>
    </message>
    <message>
        <source>ユーザIDを入力してください。</source>
        <translation>Please enter the user ID.</translation>
    </message>
    <message>
        <source>Pim -アカウント設定-</source>
        <translation>Pim - Account</translation>
    </message>
    <message>
        <source>メールアカウント情報を設定、変更してください。</source>
        <translation>Enter or change the details of the account.</translation>
    </message>
    <message>
        <source>表示名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>ユーザID</source>
        <translation>User ID</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>忘れる</source>
        <translation>Forget</translation>
    </message>
    <message>
        <source>記録した暗号化の情報を忘れます</source>
        <translation>Forgets what was learnt of the encryption</translation>
    </message>
    <message>
        <source>信頼した証明書：</source>
        <translation>Trusted certificate:</translation>
    </message>
    <message>
        <source>信頼した証明書（%1 から）：</source>
        <translation>Trusted certificate (since %1):</translation>
    </message>
    <message>
        <source>記録なし</source>
        <translation>Nothing learnt</translation>
    </message>
    <message>
        <source>例</source>
        <translation>e.g.</translation>
    </message>
    <message>
        <source>ユーザIDに改行文字やNUL文字は使えません。</source>
        <translation>The user ID cannot hold a line break or a NUL character.</translation>
    </message>
    <message>
        <source>パスワードに改行文字やNUL文字は使えません。</source>
        <translation>The password cannot hold a line break or a NUL character.</translation>
    </message>
    <message>
        <source>メールサーバ</source>
        <translation>Mail server</translation>
    </message>
    <message>
        <source>パスワードの%1文字目はShift_JISにない文字のため、保存できません。</source>
        <translation>Character %1 of the password is not in Shift_JIS and cannot be saved.</translation>
    </message>
    <message>
        <source>TLS が必要</source>
        <translation>TLS required</translation>
    </message>
    <message>
        <source>TLS が必要（%1 から）</source>
        <translation>TLS required (since %1)</translation>
    </message>
    <message>
        <source>TLS が必要であること</source>
        <translation>that TLS is required</translation>
    </message>
    <message>
        <source>信頼した証明書</source>
        <translation>the trusted certificate</translation>
    </message>
    <message>
        <source>両方を忘れる</source>
        <translation>Forget both</translation>
    </message>
    <message>
        <source>TLS 要件を忘れる</source>
        <translation>Forget TLS rule</translation>
    </message>
    <message>
        <source>証明書を忘れる</source>
        <translation>Forget certificate</translation>
    </message>
    <message>
        <source>・%1<byte value="xd"/></source>
        <translation>- %1<byte value="xd"/></translation>
    </message>
    <message>
        <source>サーバ %1 について記録した次のことを忘れてもよろしいですか？<byte value="xd"/>%2次回のメールチェックから、あらためて確認します。</source>
        <translation>Forget what was learnt of the server %1?<byte value="xd"/>%2The next check learns afresh.</translation>
    </message>
    <message>
        <source>サインイン</source>
        <translation>Sign-in</translation>
    </message>
    <message>
        <source>OAuth 2.0: その他</source>
        <translation>OAuth 2.0: other</translation>
    </message>
    <message>
        <source>認可URL</source>
        <translation>Auth URL</translation>
    </message>
    <message>
        <source>トークンURL</source>
        <translation>Token URL</translation>
    </message>
    <message>
        <source>クライアント</source>
        <translation>Client ID</translation>
    </message>
    <message>
        <source>シークレット</source>
        <translation>Secret</translation>
    </message>
    <message>
        <source>スコープ</source>
        <translation>Scope</translation>
    </message>
    <message>
        <source>クライアントID</source>
        <translation>Client ID</translation>
    </message>
    <message>
        <source>プロバイダが発行した場合のみ</source>
        <translation>Only if the provider gave one</translation>
    </message>
    <message>
        <source>クライアントIDを入力してください（プロバイダにアプリを登録すると得られます）。</source>
        <translation>Please enter a client ID (the provider gives one when the program is registered with it).</translation>
    </message>
    <message>
        <source>認可URLとトークンURLは https:// で始めてください。</source>
        <translation>The auth and token URLs must begin with https://.</translation>
    </message>
    <message>
        <source>サインイン...</source>
        <translation>Sign in...</translation>
    </message>
    <message>
        <source>サインイン済み</source>
        <translation>Signed in</translation>
    </message>
    <message>
        <source>未サインイン</source>
        <translation>Not signed in</translation>
    </message>
    <message>
        <source>メールサーバを探しています…</source>
        <translation>Looking for the mail server…</translation>
    </message>
    <message>
        <source>見つかりませんでした。入力してください</source>
        <translation>None found; please type it in</translation>
    </message>
    <message>
        <source>ドメイン %1 の DNS は、そのドメインの外にあるメールサーバ %2 を示しています。DNS の応答は偽装されることがあります。このサーバにパスワードを送ってよいか確かめてください。このサーバを使いますか？</source>
        <translation>The DNS of the domain %1 names the mail server %2, outside that domain. DNS answers can be forged: make sure this server may receive your password. Use this server?</translation>
    </message>
    <message>
        <source>オンラインアカウントが管理します</source>
        <translation>Kept by Online Accounts</translation>
    </message>
    <message>
        <source>ドメインのメール設定はメールサーバ %1 を示していますが、暗号化（TLS）の接続ではありません。パスワードが暗号化されずに送られることがあります。このサーバを使いますか？</source>
        <translation>The domain’s mail settings name the mail server %1, but not for an encrypted (TLS) connection. The password may be sent unencrypted. Use this server?</translation>
    </message>
</context>
<context>
    <name>ArrivalNotice</name>
    <message>
        <source>%1: %2 通</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>ほか %1 通</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>新着メールが %1 通あります</source>
        <translation>New messages: %1</translation>
    </message>
    <message>
        <source>メールが %1 通届いています</source>
        <translation>Messages waiting: %1</translation>
    </message>
    <message>
        <source>メインウィンドウを表示</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>メーラを起動</source>
        <translation>Start mail program</translation>
    </message>
    <message>
        <source>%1: %2 通の新着メール</source>
        <translation>%1: %2 new</translation>
    </message>
</context>
<context>
    <name>CheckRun</name>
    <message>
        <source>現在、オフライン作業中です。オンラインに切り替えますか？</source>
        <translation>Pim is working offline. Go online?</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続されていない為、メールチェックを行うことはできません。</source>
        <translation>Mail cannot be checked: there is no dial-up connection.</translation>
    </message>
    <message>
        <source>ダイヤル先が指定されていません。</source>
        <translation>No dial-up connection is chosen.</translation>
    </message>
    <message>
        <source>%1のダイヤルアップ設定が存在しません。</source>
        <translation>The dial-up connection &quot;%1&quot; does not exist.</translation>
    </message>
    <message>
        <source>オプションにて存在するダイヤルアップ接続先を設定してください。</source>
        <translation>Choose an existing dial-up connection in the options.</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続中にエラーが発生しました。</source>
        <translation>Dialing failed.</translation>
    </message>
    <message>
        <source>手動、または他のアプリケーションでダイヤルアップ接続処理が行われている可能性があります。</source>
        <translation>A connection may be being made by hand or by another program.</translation>
    </message>
    <message>
        <source>メールチェックを実行することができません。</source>
        <translation>Mail cannot be checked.</translation>
    </message>
    <message>
        <source>%1へダイヤル中</source>
        <translation>Dialing %1</translation>
    </message>
    <message>
        <source>%1への接続に失敗、または手動によりキャンセルされました。</source>
        <translation>The connection to %1 failed or was cancelled.</translation>
    </message>
    <message>
        <source>このメッセージが毎回表示される場合は、以下の設定を確認してみてください。</source>
        <translation>If this message appears every time, check the following:</translation>
    </message>
    <message>
        <source>・接続機器の電源、PCとの接続状況</source>
        <translation>- the modem is on and connected to the computer</translation>
    </message>
    <message>
        <source>・ダイヤル先の情報の整合性</source>
        <translation>- the details of the dial-up connection are right</translation>
    </message>
    <message>
        <source>・IDとパスワードの指定</source>
        <translation>- the user ID and password</translation>
    </message>
    <message>
        <source>%1のメールをチェック中</source>
        <translation>Checking %1</translation>
    </message>
    <message>
        <source>アカウント「%1」のサーバ %2 の証明書を検証できませんでした。</source>
        <translation>The certificate of server %2 of account &quot;%1&quot; could not be verified.</translation>
    </message>
    <message>
        <source>証明書のSHA-256フィンガープリント：</source>
        <translation>SHA-256 fingerprint of the certificate:</translation>
    </message>
    <message>
        <source>警告：以前に信頼した証明書とは異なる証明書です。</source>
        <translation>Warning: this is not the certificate you trusted before.</translation>
    </message>
    <message>
        <source>サーバの証明書が更新されたことを確認できない場合は、なりすましのおそれがあるため「いいえ」を選んでください。</source>
        <translation>Unless you know that the server&apos;s certificate was renewed, choose No: someone may be posing as the server.</translation>
    </message>
    <message>
        <source>この証明書を信頼してメールチェックを続けますか？</source>
        <translation>Trust this certificate and go on checking mail?</translation>
    </message>
    <message>
        <source>メールアカウントが設定されていない為、メールチェックを行うことはできません。</source>
        <translation>No mail account is set up, so mail cannot be checked.</translation>
    </message>
    <message>
        <source>環境設定を開いてアカウントを追加しますか？</source>
        <translation>Open the options to add an account?</translation>
    </message>
    <message>
        <source>キーリングがロックされているため、パスワードを読めませんでした。キーリングのロックを解除してから、もう一度チェックしてください。</source>
        <translation>The keyring is locked, so the password could not be read. Unlock the keyring, then check again.</translation>
    </message>
    <message>
        <source>キーリング（Secret Service）が動いていないため、パスワードを読めませんでした。キーリングを起動するか、アカウント設定でパスワードを入力し直してください。</source>
        <translation>No keyring (Secret Service) is running, so the password could not be read. Start the keyring, or type the password again in the account settings.</translation>
    </message>
    <message>
        <source>キーリングにこのアカウントのパスワードがありません。アカウント設定でパスワードを入力し直してください。</source>
        <translation>The keyring holds no password for this account. Type the password again in the account settings.</translation>
    </message>
    <message>
        <source>キーリングがパスワードを渡しませんでした。オプションの「パスワードをキーリングに保存する」をオフにするか、アカウント設定でパスワードを入力し直してください。</source>
        <translation>The keyring did not give the password. Turn off “Keep passwords in the desktop keyring” in the options, or type the password again in the account settings.</translation>
    </message>
    <message>
        <source>サインインが必要です</source>
        <translation>Sign-in needed</translation>
    </message>
    <message>
        <source>オンラインアカウントで再度サインインしてください</source>
        <translation>Sign in again in Online Accounts</translation>
    </message>
</context>
<context>
    <name>Credentials</name>
    <message>
        <source>ユーザIDかパスワードに改行などの制御文字が含まれているため、送信しませんでした。</source>
        <translation>The user ID or password holds a line break or another control character, so it was not sent.</translation>
    </message>
    <message>
        <source>ユーザIDかパスワードが長すぎる（16 KB を超える）ため、送信しませんでした。</source>
        <translation>The user ID or password is too long (over 16 KB), so it was not sent.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifications</name>
    <message>
        <source>セッションバスがありません</source>
        <translation>no session bus</translation>
    </message>
    <message>
        <source>Pim: デスクトップ通知を使えません（%1）</source>
        <translation>Pim: desktop notifications are not available (%1)</translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>ヘルプのページを開くことができませんでした。<byte value="xd"/><byte value="xd"/>ページの場所:<byte value="xd"/>%1</source>
        <translation>The help page could not be opened.<byte value="xd"/><byte value="xd"/>The page is at:<byte value="xd"/>%1</translation>
    </message>
</context>
<context>
    <name>IconForm</name>
    <message>
        <source>リストの中から設定したいアイコンを選択してください。</source>
        <translation>Please choose an icon from the list.</translation>
    </message>
    <message>
        <source>Pim -メーラ起動アイコン設定-</source>
        <translation>Pim - Mailer Icon</translation>
    </message>
    <message>
        <source>表示するメーラの起動アイコンを指定してください。</source>
        <translation>Choose the icon to show for the mailer.</translation>
    </message>
    <message>
        <source>起動アイコン</source>
        <translation>Mailer icon</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>アイコン %1</source>
        <translation>Icon %1</translation>
    </message>
</context>
<context>
    <name>MailTree</name>
    <message>
        <source>メール情報の取得に失敗しました。</source>
        <translation>Could not read the messages.</translation>
    </message>
    <message>
        <source>ユーザID、またはパスワードが違います。</source>
        <translation>Wrong user ID or password.</translation>
    </message>
    <message>
        <source>サーバへの接続がタイムアウトしました。</source>
        <translation>The server timed out.</translation>
    </message>
    <message>
        <source>サーバが応答しませんでした。</source>
        <translation>The server did not answer.</translation>
    </message>
    <message>
        <source>メールが %1通、届いています。</source>
        <translation>Messages waiting: %1</translation>
    </message>
    <message>
        <source>メールは届いていません。</source>
        <translation>No mail.</translation>
    </message>
    <message>
        <source>以前から届いているメールが %1通あります。</source>
        <translation>Messages from before: %1</translation>
    </message>
    <message>
        <source>すべてのアカウント</source>
        <translation>All accounts</translation>
    </message>
    <message>
        <source>アカウントが設定されていません。</source>
        <translation>No mail account is set up.</translation>
    </message>
    <message>
        <source>環境設定の「アカウント」で追加してください。</source>
        <translation>Add one under Options, Accounts.</translation>
    </message>
    <message>
        <source>安全な接続ができませんでした。</source>
        <translation>No secure connection could be made.</translation>
    </message>
    <message>
        <source>サーバからの警告：%1</source>
        <translation>The server says: %1</translation>
    </message>
</context>
<context>
    <name>MainController</name>
    <message>
        <source>パスワードをキーリングに保存する設定ですが、デスクトップのキーリング（Secret Service）が見つかりません。Pim.INI にあるパスワードはそのまま使います。</source>
        <translation>Passwords are to be kept in the desktop keyring, but no keyring (Secret Service) was found. The passwords in Pim.INI stay there and are used as they are.</translation>
    </message>
    <message>
        <source>一部のパスワードをキーリングに移せませんでした。それらのパスワードは Pim.INI に残っています。</source>
        <translation>Some passwords could not be moved into the keyring. They stay in Pim.INI.</translation>
    </message>
    <message>
        <source>キーリングからパスワードを読めなかったため、パスワードはキーリングに残っています。「パスワードをキーリングに保存する」もオンのままです。</source>
        <translation>The passwords could not be read from the keyring, so they stay there, and “Keep passwords in the desktop keyring” stays on.</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>メールチェック中です。強制終了いたしますか？（通常はメールチェックが終了するまでPimを終了しないでください）</source>
        <translation>Pim is checking mail. Quit anyway? (Normally, let the check end before you quit Pim.)</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続処理中です。強制終了すると接続処理がキャンセルされます。よろしいですか？</source>
        <translation>Pim is dialing. Quitting now cancels the connection. Quit anyway?</translation>
    </message>
    <message>
        <source>FernpostNetworkサービスを開始することができませんでした。</source>
        <translation>The FernpostNetwork service could not be started.</translation>
    </message>
    <message>
        <source>FernpostNetworkにログインすることができませんでした。</source>
        <translation>Could not log in to FernpostNetwork.</translation>
    </message>
    <message>
        <source>メールチェック</source>
        <translation>Check mail</translation>
    </message>
    <message>
        <source>オプション</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>メールボックス情報</source>
        <translation>Mailbox information</translation>
    </message>
    <message>
        <source>メーラ起動</source>
        <translation>Start mail program</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>環境設定(&amp;O)</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>メインウィンドウを表示(&amp;M)</source>
        <translation>Show &amp;main window</translation>
    </message>
    <message>
        <source>メールチェック(&amp;C)</source>
        <translation>&amp;Check mail</translation>
    </message>
    <message>
        <source>オフライン作業(&amp;W)</source>
        <translation>&amp;Work offline</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;V)</source>
        <translation>&amp;About Pim</translation>
    </message>
    <message>
        <source>終了(&amp;E)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>元のサイズに戻す(&amp;R)</source>
        <translation>&amp;Restore</translation>
    </message>
    <message>
        <source>移動(&amp;M)</source>
        <translation>&amp;Move</translation>
    </message>
    <message>
        <source>最小化(&amp;N)</source>
        <translation>Mi&amp;nimize</translation>
    </message>
    <message>
        <source>環境設定</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>メールボックス情報の表示／非表示</source>
        <translation>Show or hide mailbox information</translation>
    </message>
    <message>
        <source>メーラを起動</source>
        <translation>Start mail program</translation>
    </message>
    <message>
        <source>アカウントリスト</source>
        <translation>Accounts</translation>
    </message>
    <message>
        <source>メールリスト</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>着信メール数</source>
        <translation>Mail count</translation>
    </message>
    <message>
        <source>最終チェック日時</source>
        <translation>Last checked</translation>
    </message>
    <message>
        <source>サイズ変更(&amp;S)</source>
        <translation>&amp;Size</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>Notification</name>
    <message>
        <source>オフライン作業中</source>
        <translation>Working offline</translation>
    </message>
    <message>
        <source>&lt;着信メール %1通&gt; %2</source>
        <translation>&lt;Mail: %1&gt; %2</translation>
    </message>
</context>
<context>
    <name>OnlineAccounts</name>
    <message>
        <source>オンラインアカウントで再度サインインしてください</source>
        <translation>Sign in again in Online Accounts</translation>
    </message>
    <message>
        <source>メールサーバが分かりません</source>
        <translation>No mail server is known</translation>
    </message>
    <message>
        <source>暗号化（TLS）のない接続にはトークンを送れません</source>
        <translation>A token cannot go over a connection without encryption (TLS)</translation>
    </message>
    <message>
        <source>この種類のアカウントには対応していません</source>
        <translation>This kind of account is not supported</translation>
    </message>
    <message>
        <source>オンラインアカウントにありません</source>
        <translation>Not in Online Accounts any more</translation>
    </message>
    <message>
        <source>オンラインアカウントでメールがオフです</source>
        <translation>Mail is turned off in Online Accounts</translation>
    </message>
    <message>
        <source>オンラインアカウントから応答がありません</source>
        <translation>No answer from Online Accounts</translation>
    </message>
</context>
<context>
    <name>OptionForm</name>
    <message>
        <source>自動メールチェックの間隔は「1」～「999」の範囲で設定してください。</source>
        <translation>Please set the interval between checks from 1 to 999 minutes.</translation>
    </message>
    <message>
        <source>タイムアウトの指定は「20」～「999」の範囲で設定してください。</source>
        <translation>Please set the timeout from 20 to 999 seconds.</translation>
    </message>
    <message>
        <source>FernpostNetworkサービスを開始することができませんでした。</source>
        <translation>The FernpostNetwork service could not be started.</translation>
    </message>
    <message>
        <source>FernpostNetworkにログインすることができませんでした。</source>
        <translation>Could not log in to FernpostNetwork.</translation>
    </message>
    <message>
        <source>アカウントの設定は次回チェック開始時より有効になります。</source>
        <translation>The account settings take effect from the next check.</translation>
    </message>
    <message>
        <source>メールの着信数のみをチェックする場合、新着メールチェック関連のオプションが使用できなくなります。<byte value="xd"/>よろしいですか？</source>
        <translation>When Pim only counts the messages, the options for new mail cannot be used.<byte value="xd"/>Do you want to continue?</translation>
    </message>
    <message>
        <source>Pim -オプション-</source>
        <translation>Pim - Options</translation>
    </message>
    <message>
        <source>アカウント「%1」を削除してもよろしいですか？</source>
        <translation>Delete the account &quot;%1&quot;?</translation>
    </message>
    <message>
        <source>サウンド参照</source>
        <translation>Choose a Sound</translation>
    </message>
    <message>
        <source>サウンドファイル(*.wav)</source>
        <translation>Sound files (*.wav)</translation>
    </message>
    <message>
        <source>すべてのファイル(*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>メーラ参照</source>
        <translation>Choose the mail program</translation>
    </message>
    <message>
        <source>実行ファイル(*)</source>
        <translation>Programs (*)</translation>
    </message>
    <message>
        <source>メールチェック アカウント</source>
        <translation>Accounts to check</translation>
    </message>
    <message>
        <source>上へ移動</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>下へ移動</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>起動アイコン</source>
        <translation>Icon</translation>
    </message>
    <message>
        <source>選択したアカウントを変更</source>
        <translation>Change the selected account</translation>
    </message>
    <message>
        <source>起動アイコンを変更</source>
        <translation>Change the mailer icon</translation>
    </message>
    <message>
        <source>アカウント</source>
        <translation>Accounts</translation>
    </message>
    <message>
        <source>カスタマイズ</source>
        <translation>Customize</translation>
    </message>
    <message>
        <source>スケジュール</source>
        <translation>Schedule</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>変更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>チェックするアカウントを複数設定することができます。</source>
        <translation>Pim can check several mail accounts.</translation>
    </message>
    <message>
        <source>一般動作</source>
        <translation>General</translation>
    </message>
    <message>
        <source>タスクトレイを利用する</source>
        <translation>Use the system tray</translation>
    </message>
    <message>
        <source>タスクバーにアイコンを表示しない</source>
        <translation>No button on the taskbar</translation>
    </message>
    <message>
        <source>メールの着信数のみチェックする</source>
        <translation>Only count the messages</translation>
    </message>
    <message>
        <source>終了時に確認する</source>
        <translation>Confirm before quitting</translation>
    </message>
    <message>
        <source>ログイン時にPimを起動する</source>
        <translation>Start Pim at login</translation>
    </message>
    <message>
        <source>タイムアウト</source>
        <translation>Timeout</translation>
    </message>
    <message>
        <source>メールチェックのタイムアウト時間を手動で設定する</source>
        <translation>Set the timeout of a mail check by hand</translation>
    </message>
    <message>
        <source>タイムアウト時間</source>
        <translation>Timeout</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>ウィンドウ</source>
        <translation>Window</translation>
    </message>
    <message>
        <source>ウィンドウをアニメーション表示する</source>
        <translation>Animate the window</translation>
    </message>
    <message>
        <source>起動時にメインウィンドウを表示しない</source>
        <translation>Start with the main window hidden</translation>
    </message>
    <message>
        <source>メーラ起動時にメインウィンドウを最小化する</source>
        <translation>Minimize the main window when the mailer starts</translation>
    </message>
    <message>
        <source>メールリスト</source>
        <translation>Mail list</translation>
    </message>
    <message>
        <source>メールリストを表示する際に、自動的に詳細を展開する</source>
        <translation>Expand the details when the mail list opens</translation>
    </message>
    <message>
        <source>新着メールのみをメールリストに表示する</source>
        <translation>Show only new mail in the mail list</translation>
    </message>
    <message>
        <source>メーラ起動時にメールリストの内容をクリアする</source>
        <translation>Clear the mail list when the mailer starts</translation>
    </message>
    <message>
        <source>メール着信サウンド</source>
        <translation>New mail sound</translation>
    </message>
    <message>
        <source>サウンドを使用しない</source>
        <translation>No sound</translation>
    </message>
    <message>
        <source>BEEP音を鳴らす</source>
        <translation>Beep</translation>
    </message>
    <message>
        <source>指定したWAVEファイルを鳴らす</source>
        <translation>Play a WAVE file</translation>
    </message>
    <message>
        <source>ファイル名</source>
        <translation>File</translation>
    </message>
    <message>
        <source>サウンドテスト</source>
        <translation>Test the sound</translation>
    </message>
    <message>
        <source>ファイル参照</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>デスクトップ通知</source>
        <translation>Desktop notification</translation>
    </message>
    <message>
        <source>新着メールをデスクトップに通知する</source>
        <translation>Show a desktop notification for new mail</translation>
    </message>
    <message>
        <source>条件</source>
        <translation>Condition</translation>
    </message>
    <message>
        <source>新着メールが無い場合はサウンドを鳴らさない</source>
        <translation>Stay silent when there is no new mail</translation>
    </message>
    <message>
        <source>起動メーラ</source>
        <translation>Mailer</translation>
    </message>
    <message>
        <source>メーラの場所</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>起動オプション</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>メールチェック時 ダイヤルアップ</source>
        <translation>Dial-up for a mail check</translation>
    </message>
    <message>
        <source>ダイヤルアップ制御しない</source>
        <translation>Leave dial-up alone</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続されていない場合はメールをチェックしない</source>
        <translation>Do not check mail when not connected</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続されていない場合は自動的に接続処理を行う</source>
        <translation>Connect automatically when not connected</translation>
    </message>
    <message>
        <source>接続先</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>動作</source>
        <translation>Behavior</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>サウンド</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>メーラ</source>
        <translation>Mailer</translation>
    </message>
    <message>
        <source>ダイヤルアップ</source>
        <translation>Dial-up</translation>
    </message>
    <message>
        <source>より使いやすくカスタマイズすることができます。</source>
        <translation>Make Pim work the way you like.</translation>
    </message>
    <message>
        <source>自動メールチェック</source>
        <translation>Automatic check</translation>
    </message>
    <message>
        <source>起動時にメールをチェックする</source>
        <translation>Check mail at startup</translation>
    </message>
    <message>
        <source>ダイヤルアップ接続完了後にメールをチェックする</source>
        <translation>Check mail when dial-up connects</translation>
    </message>
    <message>
        <source>指定した間隔でメールをチェックする</source>
        <translation>Check mail at an interval</translation>
    </message>
    <message>
        <source>チェックする間隔</source>
        <translation>Check every</translation>
    </message>
    <message>
        <source>分毎</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>メールボックス情報を表示しているときはチェックしない</source>
        <translation>Not while the mail list is shown</translation>
    </message>
    <message>
        <source>メーラ起動</source>
        <translation>Start the mailer</translation>
    </message>
    <message>
        <source>メールチェック完了後、メールが届いていたらメーラを起動する</source>
        <translation>Start the mailer when a check finds mail</translation>
    </message>
    <message>
        <source>新着メールが無い場合は起動しない</source>
        <translation>Not when there is no new mail</translation>
    </message>
    <message>
        <source>メールボックス表示</source>
        <translation>Mail list</translation>
    </message>
    <message>
        <source>メールチェック完了後、メールボックス情報を表示する</source>
        <translation>Show the mail list after a check</translation>
    </message>
    <message>
        <source>メールが届いている時のみ表示する</source>
        <translation>Only when there is mail</translation>
    </message>
    <message>
        <source>新着メールが無い場合は表示しない</source>
        <translation>Not when there is no new mail</translation>
    </message>
    <message>
        <source>ダイヤルアップ切断</source>
        <translation>Hang up</translation>
    </message>
    <message>
        <source>メールチェック完了後、すべてのダイヤルアップ接続を切断する</source>
        <translation>Hang up every dial-up connection after a check</translation>
    </message>
    <message>
        <source>Pimの自動接続設定にて接続された場合のみ切断する</source>
        <translation>Only when Pim made the connection</translation>
    </message>
    <message>
        <source>メールが届いているときは切断しない</source>
        <translation>Not when there is mail</translation>
    </message>
    <message>
        <source>メールチェック完了時</source>
        <translation>After a check</translation>
    </message>
    <message>
        <source>時間やイベント毎に様々な処理をすることができます。</source>
        <translation>Pim can act at set times and on events.</translation>
    </message>
    <message>
        <source>FernpostNetwork制御</source>
        <translation>FernpostNetwork</translation>
    </message>
    <message>
        <source>FernpostNetworkにログインしない</source>
        <translation>Do not log in to FernpostNetwork</translation>
    </message>
    <message>
        <source>FernpostNetworkにログインする</source>
        <translation>Log in to FernpostNetwork</translation>
    </message>
    <message>
        <source>パスワードによる認証チェックを行う</source>
        <translation>Require a password</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>FPNにより、他のマシンから遠隔操作することができます。</source>
        <translation>With FPN, other machines can control Pim.</translation>
    </message>
    <message>
        <source>ダイヤルアップの制御には NetworkManager が必要ですが、
NetworkManager が動作していません。</source>
        <translation>Dial-up control needs NetworkManager,
which is not running.</translation>
    </message>
    <message>
        <source>キーリングに保存されています</source>
        <translation>Kept in the keyring</translation>
    </message>
    <message>
        <source>パスワードをキーリングに保存する</source>
        <translation>Keep passwords in the desktop keyring</translation>
    </message>
    <message>
        <source>デスクトップのキーリング（Secret Service）が見つからないため使えません。</source>
        <translation>Not available: no desktop keyring (Secret Service) was found.</translation>
    </message>
    <message>
        <source>ログイン時に Pim を起動して、いつも新着メールを見張りますか？<byte value="xd"/>（「ログイン時にPimを起動する」でいつでも変えられます）</source>
        <translation>Start Pim when you log in, so that it always watches for new mail?<byte value="xd"/>(You can change this at any time with “Start Pim at login”.)</translation>
    </message>
    <message>
        <source>新しいメールを上に表示</source>
        <translation>Newest mail at the top</translation>
    </message>
    <message>
        <source>新しいアカウント(&amp;N)...</source>
        <translation>&amp;New account...</translation>
    </message>
    <message>
        <source>オンラインアカウントから追加</source>
        <translation>Add from online accounts</translation>
    </message>
    <message>
        <source>メールがオフ</source>
        <translation>mail is off</translation>
    </message>
</context>
<context>
    <name>PasswordKeeper</name>
    <message>
        <source>Pim のメールアカウント「%1」（%2 @ %3）</source>
        <translation>Pim mail account “%1” (%2 @ %3)</translation>
    </message>
</context>
<context>
    <name>SaslToken</name>
    <message>
        <source>サーバにトークンでのサインイン方式（OAUTHBEARER、XOAUTH2）がないため、トークンを送りませんでした。</source>
        <translation>The server offers no way to sign in with a token (OAUTHBEARER, XOAUTH2), so the token was not sent.</translation>
    </message>
    <message>
        <source>サーバがサインインのトークンを受け付けませんでした。</source>
        <translation>The server did not accept the sign-in token.</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>%1 に書き込めません</source>
        <translation>Cannot write to %1</translation>
    </message>
    <message>
        <source>ファイルではなくフォルダです。</source>
        <translation>It is a folder, not a file.</translation>
    </message>
    <message>
        <source>通常のファイルではありません。</source>
        <translation>It is not a regular file.</translation>
    </message>
    <message>
        <source>ファイルサイズが上限（16MB）を超えています。</source>
        <translation>It is larger than 16 MB.</translation>
    </message>
    <message>
        <source>ファイルを読み込む権限がありません。</source>
        <translation>You have no permission to read it.</translation>
    </message>
    <message>
        <source>シンボリックリンクが循環しています。</source>
        <translation>Its symbolic links form a loop.</translation>
    </message>
    <message>
        <source>読み込み中にエラーが発生しました。</source>
        <translation>An error occurred while reading it.</translation>
    </message>
    <message>
        <source>%1 を読み込むことができませんでした。<byte value="xd"/>%2<byte value="xd"/><byte value="xd"/>初期設定で起動しますが、設定は保存されません。</source>
        <translation>Could not read %1.<byte value="xd"/>%2<byte value="xd"/><byte value="xd"/>Pim starts with the default settings and will not save them.</translation>
    </message>
</context>
<context>
    <name>ShownSummary</name>
    <message>
        <source>（タイトル未設定）</source>
        <translation>(no subject)</translation>
    </message>
    <message>
        <source>（差出人不明）</source>
        <translation>(unknown sender)</translation>
    </message>
    <message>
        <source>（受信日時不明）</source>
        <translation>(no date)</translation>
    </message>
</context>
<context>
    <name>SignIn</name>
    <message>
        <source>Pim にサインインしました。このタブは閉じてかまいません。</source>
        <translation>Signed in to Pim. You may close this tab.</translation>
    </message>
    <message>
        <source>サインインできませんでした: %1</source>
        <translation>Could not sign in: %1</translation>
    </message>
    <message>
        <source>このページは Pim のサインインのものではありません。</source>
        <translation>This page is not part of a Pim sign-in.</translation>
    </message>
    <message>
        <source>トークンの URL が https:// ではありません</source>
        <translation>The token URL is not https://</translation>
    </message>
    <message>
        <source>トークンの応答が大きすぎます</source>
        <translation>The token reply is too large</translation>
    </message>
    <message>
        <source>トークンの URL が別の場所に転送されました</source>
        <translation>The token URL redirected elsewhere</translation>
    </message>
    <message>
        <source>トークンの応答がありません</source>
        <translation>No reply from the token URL</translation>
    </message>
    <message>
        <source>トークンの応答を読めません（HTTP %1）</source>
        <translation>The token reply cannot be read (HTTP %1)</translation>
    </message>
    <message>
        <source>5 分以内にサインインが終わらなかったため、中止しました。</source>
        <translation>The sign-in did not finish within 5 minutes and was stopped.</translation>
    </message>
    <message>
        <source>サインインが拒否されました: %1</source>
        <translation>The sign-in was refused: %1</translation>
    </message>
    <message>
        <source>トークンを受け取れませんでした: %1</source>
        <translation>No token was received: %1</translation>
    </message>
    <message>
        <source>プロバイダがリフレッシュトークンを発行しませんでした（スコープに offline_access などが必要です）。</source>
        <translation>The provider issued no refresh token (the scope needs offline_access or the like).</translation>
    </message>
    <message>
        <source>クライアント ID が設定されていません。</source>
        <translation>No client ID is set.</translation>
    </message>
    <message>
        <source>認可とトークンの URL は https:// でなければなりません。</source>
        <translation>The authorization and token URLs must be https://.</translation>
    </message>
    <message>
        <source>サインインを待ち受けるポートを開けませんでした。</source>
        <translation>No port could be opened to wait for the sign-in.</translation>
    </message>
    <message>
        <source>トークンを更新できませんでした: %1</source>
        <translation>The token could not be renewed: %1</translation>
    </message>
    <message>
        <source>まだサインインしていません。</source>
        <translation>Not signed in yet.</translation>
    </message>
    <message>
        <source>トークンの URL に接続できません（%1）</source>
        <translation>Cannot connect to the token URL (%1)</translation>
    </message>
</context>
<context>
    <name>SignInWindow</name>
    <message>
        <source>Pim -サインイン-</source>
        <translation>Pim - Sign in -</translation>
    </message>
    <message>
        <source>サインインのページのアドレス</source>
        <translation>Address of the sign-in page</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>「%1」のサインインのページをブラウザで開きました。ブラウザでサインインを済ませてください。</source>
        <translation>The sign-in page of &quot;%1&quot; was opened in your browser. Please sign in there.</translation>
    </message>
    <message>
        <source>ブラウザを開けませんでした。「%1」のサインインのため、次のアドレスをブラウザで開いてください。</source>
        <translation>No browser could be opened. To sign in to &quot;%1&quot;, open this address in a browser.</translation>
    </message>
    <message>
        <source>「%1」にサインインできませんでした。
%2</source>
        <translation>Could not sign in to &quot;%1&quot;.
%2</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>StatusTexts</name>
    <message>
        <source>自動チェック停止中</source>
        <translation>Auto check off</translation>
    </message>
    <message>
        <source>自動チェック待機中</source>
        <translation>Auto check on</translation>
    </message>
    <message>
        <source>終了してもよろしいですか？</source>
        <translation>Do you want to quit Pim?</translation>
    </message>
    <message>
        <source>アカウント未設定 - 環境設定で追加</source>
        <translation>No account - add one in Options</translation>
    </message>
    <message>
        <source>プッシュ受信中</source>
        <translation>Push on</translation>
    </message>
</context>
<context>
    <name>TVeltaIMAP</name>
    <message>
        <source>サーバが暗号化（STARTTLS）なしのログインを受け付けないため、パスワードを送りませんでした。</source>
        <translation>The server accepts no login without encryption (STARTTLS), so the password was not sent.</translation>
    </message>
    <message>
        <source>サーバに対応するログイン方式がないため、パスワードを送りませんでした。</source>
        <translation>The server offers no login method Pim supports, so the password was not sent.</translation>
    </message>
    <message>
        <source>サーバが一時的にログインを受け付けていません。</source>
        <translation>The server is not accepting logins for the moment.</translation>
    </message>
    <message>
        <source>サーバが暗号化（TLS）に対応していないため、サインインのトークンを送りませんでした。</source>
        <translation>The server offers no encryption (TLS), so the sign-in token was not sent.</translation>
    </message>
</context>
<context>
    <name>TlsOutcome</name>
    <message>
        <source>暗号化（STLS）がなく、接続を中止しました。</source>
        <translation>No encryption (STLS) offered; connection ended.</translation>
    </message>
    <message>
        <source>暗号化通信を開始できませんでした。</source>
        <translation>Encryption could not be started.</translation>
    </message>
    <message>
        <source>サーバの証明書が以前と変わっています</source>
        <translation>The server&apos;s certificate has changed</translation>
    </message>
    <message>
        <source>サーバの証明書を信頼できません</source>
        <translation>The server&apos;s certificate is not trusted</translation>
    </message>
    <message>
        <source>自己署名</source>
        <translation>self-signed</translation>
    </message>
    <message>
        <source>有効期間外</source>
        <translation>expired</translation>
    </message>
    <message>
        <source>ホスト名の不一致</source>
        <translation>wrong host name</translation>
    </message>
    <message>
        <source>不明な認証局</source>
        <translation>unknown authority</translation>
    </message>
    <message>
        <source>%1。</source>
        <translation>%1.</translation>
    </message>
    <message>
        <source>%1（%2）。</source>
        <translation>%1 (%2).</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>サーバ名「%1」が見つかりません（名前の誤りか、DNSの不調です）。</source>
        <translation>The server name “%1” was not found (a typo in the name, or a DNS problem).</translation>
    </message>
    <message>
        <source>サーバ名「%1」を調べられませんでした（ネットワークかDNSの不調です）。</source>
        <translation>The server name “%1” could not be looked up (a network or DNS problem).</translation>
    </message>
    <message>
        <source>接続を拒否されました（ポート番号の誤りか、サーバが停止しています）。</source>
        <translation>The connection was refused (a wrong port number, or the server is not running).</translation>
    </message>
    <message>
        <source>サーバに到達できません（ネットワークの接続を確認してください）。</source>
        <translation>The server cannot be reached (check the network connection).</translation>
    </message>
    <message>
        <source>時間内に接続できませんでした（ファイアウォールか、サーバの停止が考えられます）。</source>
        <translation>No connection could be made in time (a firewall, or the server is down).</translation>
    </message>
    <message>
        <source>サーバに接続できませんでした。</source>
        <translation>No connection could be made to the server.</translation>
    </message>
</context>
<context>
    <name>VersionForm</name>
    <message>
        <source>Pim -バージョン情報-</source>
        <translation>About Pim</translation>
    </message>
</context>
<context>
    <name>fpn-console</name>
    <message>
        <source>このステーションにはメニューがありません。</source>
        <translation>This station has no menu.</translation>
    </message>
    <message>
        <source>ステーションが選択肢のない選択リストを送ってきました</source>
        <translation>the station sent a choice list without choices</translation>
    </message>
    <message>
        <source>番号: </source>
        <translation>Number: </translation>
    </message>
    <message>
        <source>答え &quot;%1&quot; は 1 から %2 までの番号でも、選択肢の名前や値でもありません</source>
        <translation>the answer &quot;%1&quot; is neither a number from 1 to %2 nor a label or value of the choices</translation>
    </message>
    <message>
        <source>1 から %1 までの番号を入力してください。</source>
        <translation>Enter a number from 1 to %1.</translation>
    </message>
    <message>
        <source>--answer の答え %1 個を使い切りました。標準入力は端末ではありません</source>
        <translation>%1 --answer value(s) used up and standard input is not a terminal</translation>
    </message>
    <message>
        <source>対話が終わる前に入力が終わりました</source>
        <translation>input ended before the dialogue did</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>ステーションがひとつもありません。このコンソール自身のログインも戻ってきませんでした (--broadcast と --port を確かめてください)</source>
        <translation>no station at all: not even this console&apos;s own login came back to it (check --broadcast and --port)</translation>
    </message>
    <message>
        <source>%1 以内に応答したステーションはありません</source>
        <translation>no station answered within %1</translation>
    </message>
    <message>
        <source>種類 &quot;%2&quot; のステーション &quot;%1&quot; は %3 以内に応答しませんでした (応答するステーションは fpn-console list で分かります)</source>
        <translation>no station &quot;%1&quot; of kind &quot;%2&quot; answered within %3 (fpn-console list shows who does)</translation>
    </message>
    <message>
        <source>メニューの要求を送れません</source>
        <translation>cannot send the menu request</translation>
    </message>
    <message>
        <source>&quot;%1&quot; から %2 以内に応答がありませんでした</source>
        <translation>no answer from &quot;%1&quot; within %2</translation>
    </message>
    <message>
        <source>答えを送れません</source>
        <translation>cannot send the answer</translation>
    </message>
    <message>
        <source>使い方: fpn-console list | fpn-console menu MACHINE (--help を参照)</source>
        <translation>usage: fpn-console list | fpn-console menu MACHINE (see --help)</translation>
    </message>
    <message>
        <source>--broadcast には IPv4 アドレスを 4 つの数で指定してください</source>
        <translation>--broadcast must be a dotted IPv4 address</translation>
    </message>
    <message>
        <source>--port には 1 から 65535 までの数を指定してください</source>
        <translation>--port must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>--timeout には 0 より大きく 3600 以下の秒数を指定してください</source>
        <translation>--timeout must be a number of seconds above 0, at most 3600</translation>
    </message>
    <message>
        <source>Fernpost の LAN のリモートメニューを端末で使うコンソールです。
  list            このコンソールのログインに応答したステーションの一覧
  menu MACHINE    マシン名 MACHINE のステーションのリモートメニューを開く</source>
        <translation>The console side of the Fernpost remote menu.
  list            the stations that answer this console&apos;s login
  menu MACHINE    run the remote menu of the station MACHINE</translation>
    </message>
    <message>
        <source>list、または menu MACHINE</source>
        <translation>list, or menu MACHINE</translation>
    </message>
    <message>
        <source>menu: ステーションの種類 (Discrimination)。</source>
        <translation>menu: the kind (Discrimination) of the station.</translation>
    </message>
    <message>
        <source>menu: 次の問いに TEXT で答えます (選択肢の番号、名前または値)。繰り返し指定できます。</source>
        <translation>menu: answer the next prompt with TEXT (a choice&apos;s number, label or value); repeatable.</translation>
    </message>
    <message>
        <source>ブロードキャストの宛先。</source>
        <translation>Where broadcasts go.</translation>
    </message>
    <message>
        <source>ネットワークの UDP ポート。</source>
        <translation>The UDP port of the network.</translation>
    </message>
    <message>
        <source>待つ秒数: ログインの応答 (list、2) または一つひとつの応答 (menu、5)。</source>
        <translation>Seconds to wait: for login answers (list, 2) or for each answer (menu, 5).</translation>
    </message>
    <message>
        <source>UDP ポート %1 を使えません (ほかのプログラムが共有せずに使っています)</source>
        <translation>cannot use UDP port %1 (a program holds it without sharing it)</translation>
    </message>
    <message>
        <source>%1:%2 にブロードキャストできません</source>
        <translation>cannot broadcast to %1:%2</translation>
    </message>
    <message>
        <source>この説明を表示します。</source>
        <translation>Show this help.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Pim: 起動中の Pim が応答しません。</source>
        <translation>Pim: the running Pim does not answer.</translation>
    </message>
    <message>
        <source>Pim: ロックファイルを作成できません: %1</source>
        <translation>Pim: cannot create the lock file: %1</translation>
    </message>
    <message>
        <source>Pim: %1 を開けません。次の起動はこの Pim を表示できません。</source>
        <translation>Pim: cannot open %1. A second start cannot show this Pim.</translation>
    </message>
    <message>
        <source>使い方: pim [オプション]
タスクトレイに常駐してメールボックスを確認し、新着メールを知らせます。

  -h, --help     この説明を表示して終了します。
  -v, --version  バージョンを表示して終了します。

Qt のオプション (-platform、-display、-style など) も使えます。
設定はすべてオプションダイアログで行います (man pim)。</source>
        <translation>Usage: pim [options]
Stays in the tray, checks your mailboxes and announces new mail.

  -h, --help     Show this text and end.
  -v, --version  Show the version and end.

Qt&apos;s options (-platform, -display, -style and others) work too.
Everything else is set in the options dialog (man pim).</translation>
    </message>
    <message>
        <source>Pim: 不明なオプションです: %1</source>
        <translation>Pim: unknown option: %1</translation>
    </message>
    <message>
        <source>Pim: 余分な引数があります: %1</source>
        <translation>Pim: unexpected argument: %1</translation>
    </message>
</context>
</TS>
