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
        <source>オフライン作業(&amp;O)</source>
        <translation>&amp;Work offline</translation>
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
</context>
</TS>
