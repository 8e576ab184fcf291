#include "mail/TlsOutcome.h"

#include "common/Cp932.h"
#include "common/UiText.h"

#include <QStringList>

namespace pim {

std::string TlsReasonText(const TlsOutcome& outcome) {
    switch (outcome.Failure) {
    case TlsFailure::None:
        return {};
    case TlsFailure::Downgrade:
        return UiText("TlsOutcome", "暗号化（STLS）がなく、接続を中止しました。");
    case TlsFailure::Handshake:
        return UiText("TlsOutcome", "暗号化通信を開始できませんでした。");
    case TlsFailure::Untrusted:
        break;
    }
    const QString what = outcome.FingerprintChanged
                             ? UiString("TlsOutcome", "サーバの証明書が以前と変わっています")
                             : UiString("TlsOutcome", "サーバの証明書を信頼できません");
    QStringList problems;
    if (outcome.Problems & cpSelfSigned)
        problems << UiString("TlsOutcome", "自己署名");
    if (outcome.Problems & cpExpired)
        problems << UiString("TlsOutcome", "有効期間外");
    if (outcome.Problems & cpWrongName)
        problems << UiString("TlsOutcome", "ホスト名の不一致");
    if (outcome.Problems & cpUnknownAuthority)
        problems << UiString("TlsOutcome", "不明な認証局");
    return cp932::FromUnicode(problems.isEmpty()
                                  ? UiString("TlsOutcome", "%1。").arg(what)
                                  : UiString("TlsOutcome", "%1（%2）。")
                                        .arg(what, problems.join(UiString("TlsOutcome", "、"))));
}

std::string FailureReasonText(const TlsOutcome& outcome) {
    if (outcome.Failure != TlsFailure::None)
        return TlsReasonText(outcome);
    const QString host = cp932::ToUnicode(outcome.Host);
    switch (outcome.Connect) {
    case ConnectFailure::None:
        return {};
    case ConnectFailure::HostNotFound:
        return cp932::FromUnicode(
            UiString("TlsOutcome",
                     "サーバ名「%1」が見つかりません（名前の誤りか、DNSの不調です）。")
                .arg(host));
    case ConnectFailure::LookupFailed:
        return cp932::FromUnicode(UiString("TlsOutcome", "サーバ名「%1」を調べられませんでした"
                                                         "（ネットワークかDNSの不調です）。")
                                      .arg(host));
    case ConnectFailure::Refused:
        return UiText("TlsOutcome",
                      "接続を拒否されました（ポート番号の誤りか、サーバが停止しています）。");
    case ConnectFailure::Unreachable:
        return UiText("TlsOutcome",
                      "サーバに到達できません（ネットワークの接続を確認してください）。");
    case ConnectFailure::TimedOut:
        return UiText("TlsOutcome",
                      "時間内に接続できませんでした（ファイアウォールか、サーバの停止が"
                      "考えられます）。");
    case ConnectFailure::Other:
        break;
    }
    return UiText("TlsOutcome", "サーバに接続できませんでした。");
}

} // namespace pim
