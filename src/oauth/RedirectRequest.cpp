#include "oauth/RedirectRequest.h"

#include "oauth/TokenReply.h"

#include <QUrl>
#include <QUrlQuery>

namespace pim {
namespace {

RedirectVerdict Ignore(int status) {
    return {RedirectVerdict::Ignored, status, {}, {}};
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Bad Request";
    }
}

} // namespace

RedirectVerdict ReadRedirect(const QByteArray& head, const QByteArray& state) {
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0)
        return head.size() > kMaxRedirectRequest ? Ignore(400) : RedirectVerdict{};
    const qsizetype lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> words = head.left(lineEnd).split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/1."))
        return Ignore(400);
    if (words[0] != "GET")
        return Ignore(405);
    const QByteArray& target = words[1];
    const qsizetype question = target.indexOf('?');
    if ((question < 0 ? target : target.left(question)) != "/")
        return Ignore(404);
    // Form encoding (RFC 6749, 4.1.2): a '+' is a space.
    const QUrlQuery query(QString::fromLatin1(target.mid(question + 1).replace('+', "%20")));
    const auto value = [&](const char* name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    // Without this sign-in's state, a request says nothing about it.
    if (question < 0 || state.isEmpty() || value("state").toLatin1() != state)
        return Ignore(400);
    if (const QString error = value("error"); !error.isEmpty()) {
        const QString description = value("error_description");
        return {RedirectVerdict::Denied,
                200,
                {},
                ProviderText(description.isEmpty() ? error
                                                   : error + QLatin1String(": ") + description)};
    }
    const QByteArray code = value("code").toUtf8();
    if (code.isEmpty())
        return Ignore(400);
    return {RedirectVerdict::Code, 200, code, {}};
}

QByteArray RedirectAnswer(int status, const QString& text) {
    const QByteArray page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Pim</title>"
        "</head><body><p>" +
        text.toHtmlEscaped().toUtf8() + "</p></body></html>\n";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(page.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page;
}

} // namespace pim
