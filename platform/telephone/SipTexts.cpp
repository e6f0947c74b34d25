// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipTexts.h"

#include "platform/ProfileString.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/SystemLocale.h"

#include <QRegularExpression>

namespace platform {

QString SipText(const char* key, const char* english)
{
    constexpr int kBufferChars = 199; // as every caption of the file
    const int lcid = MapLcid(Globals().lcid);
    const QLatin1String letter = lcid == kLcidTraditionalChinese  ? QLatin1String("T")
                                 : lcid == kLcidSimplifiedChinese ? QLatin1String("S")
                                                                  : QLatin1String("E");
    const QString text = GetPrivateProfileString(letter + QLatin1String("SipLine"), QLatin1String(key), QString(),
                                                 ProgramFolder() + QStringLiteral("/statement.ini"), kBufferChars);
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

// What the user can do about a refused registration, by the server's answer.
namespace {

QString RegistrationHint(int code, const QString& phrase)
{
    if (code <= 0
        && phrase.contains(QRegularExpression(QStringLiteral("dns|resolv"), QRegularExpression::CaseInsensitiveOption)))
        return SipText("HintDns", "The server's name was not found: check the server address and the network.");
    if (code <= 0 || code == 408)
        return SipText("HintTimeout", "Check the server address and the network.");
    if (code == 401 || code == 407 || code == 403)
        return SipText("HintPassword", "Check the user name and password of the SIP account.");
    if (code == 404)
        return SipText("HintIdentity",
                       "Check the SIP identity: the user and the domain the server knows the account by.");
    if (code >= 500 && code < 600)
        return SipText("HintServer", "The server cannot serve the account now: try again later or ask the provider.");
    if (code == 423)
        return SipText("HintInterval", "The server wants a different registration interval: ask the provider.");
    if (code >= 600)
        return SipText("HintDeclined", "The server declines the account: ask the provider.");
    return SipText("HintOther", "Check the account's settings with the provider.");
}

} // namespace

QString SipRegistrationProblem(int code, const QString& phrase)
{
    const QString hint = RegistrationHint(code, phrase);
    if (code <= 0)
        return SipText("RegistrationFailedNoCode", "Registration failed: %1.")
                   .arg(phrase.isEmpty() ? SipText("NoAnswer", "no answer from the server") : phrase.trimmed())
               + u' ' + hint;
    return SipText("RegistrationFailed", "Registration failed: %1 %2.").arg(code).arg(phrase.trimmed()) + u' ' + hint;
}

QString SipConnectionProblem(bool tls)
{
    return tls ? SipText("NoSecureConnection",
                         "Registration failed: no secure connection to the server. Check the server address and "
                         "port, and that the server's certificate is for that name and from an authority this "
                         "computer trusts.")
               : SipText("NoConnection", "Registration failed: no connection to the server. Check the server address, "
                                         "port and transport.");
}

} // namespace platform
