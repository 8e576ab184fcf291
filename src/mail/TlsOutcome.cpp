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

} // namespace pim
