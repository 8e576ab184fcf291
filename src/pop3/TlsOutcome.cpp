#include "pop3/TlsOutcome.h"

#include "common/Cp932.h"

namespace pim {

namespace {
PIM_CP932_TEXT(DowngradeText, "暗号化（STLS）がなく、接続を中止しました。")
PIM_CP932_TEXT(HandshakeText, "暗号化通信を開始できませんでした。")
PIM_CP932_TEXT(UntrustedText, "サーバの証明書を信頼できません")
PIM_CP932_TEXT(ChangedText, "サーバの証明書が以前と変わっています")
PIM_CP932_TEXT(SelfSignedText, "自己署名")
PIM_CP932_TEXT(ExpiredText, "有効期間外")
PIM_CP932_TEXT(WrongNameText, "ホスト名の不一致")
PIM_CP932_TEXT(UnknownAuthorityText, "不明な認証局")
PIM_CP932_TEXT(OpenText, "（")
PIM_CP932_TEXT(SeparatorText, "、")
PIM_CP932_TEXT(CloseText, "）")
PIM_CP932_TEXT(FullStopText, "。")
} // namespace

std::string TlsReasonText(const TlsOutcome& outcome) {
    switch (outcome.Failure) {
    case TlsFailure::None:
        return {};
    case TlsFailure::Downgrade:
        return DowngradeText();
    case TlsFailure::Handshake:
        return HandshakeText();
    case TlsFailure::Untrusted:
        break;
    }
    std::string text = outcome.FingerprintChanged ? ChangedText() : UntrustedText();
    const struct {
        CertificateProblem bit;
        const std::string& (*name)();
    } problems[] = {
        {cpSelfSigned, SelfSignedText},
        {cpExpired, ExpiredText},
        {cpWrongName, WrongNameText},
        {cpUnknownAuthority, UnknownAuthorityText},
    };
    bool first = true;
    for (const auto& problem : problems) {
        if (!(outcome.Problems & problem.bit))
            continue;
        text += first ? OpenText() : SeparatorText();
        text += problem.name();
        first = false;
    }
    if (!first)
        text += CloseText();
    return text + FullStopText();
}

} // namespace pim
