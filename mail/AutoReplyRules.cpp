// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/AutoReplyRules.h"

#include "platform/Utilities.h"
#include "protocols/HeaderField.h"

namespace {

// The keyword of a field value: before any parameter or comment, in lower case.
QString keyword(const QString& value)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != QLatin1Char(';') && value[end] != QLatin1Char('(')
           && value[end] != QLatin1Char(' ') && value[end] != QLatin1Char('\t'))
        ++end;
    return value.left(end).toLower();
}

} // namespace

namespace autoreply {

bool IsSystemAddress(const QString& address)
{
    const QString local = address.section(QLatin1Char('@'), 0, -2).toLower();
    static const char* const exact[] = {"mailer-daemon", "postmaster", "listserv", "majordomo"};
    static const char* const prefixes[] = {"noreply",      "no-reply",     "no_reply", "donotreply",
                                           "do-not-reply", "do_not_reply", "owner-"};
    static const char* const suffixes[] = {"-request", "-owner"};
    for (const char* name : exact)
        if (local == QLatin1String(name))
            return true;
    for (const char* prefix : prefixes)
        if (local.startsWith(QLatin1String(prefix)))
            return true;
    for (const char* suffix : suffixes)
        if (local.endsWith(QLatin1String(suffix)))
            return true;
    return false;
}

QString SkipReason(const QString& headers, const QString& replyAddress)
{
    const QString submitted = HeaderField(headers, u"Auto-Submitted");
    if (!submitted.isNull() && keyword(submitted) != QLatin1String("no"))
        return QStringLiteral("it was sent automatically (Auto-Submitted: %1)").arg(submitted);
    const QString precedence = keyword(HeaderField(headers, u"Precedence"));
    if (precedence == QLatin1String("bulk") || precedence == QLatin1String("list")
        || precedence == QLatin1String("junk"))
        return QStringLiteral("it is bulk mail (Precedence: %1)").arg(precedence);
    for (const char* field : {"List-Id", "List-Unsubscribe"})
        if (!HeaderField(headers, QString::fromLatin1(field)).isNull())
            return QStringLiteral("it came from a mailing list (%1)").arg(QLatin1String(field));
    const QString returnPath = HeaderField(headers, u"Return-Path");
    if (!returnPath.isNull() && platform::ExtractAngleAddress(returnPath).trimmed().isEmpty())
        return QStringLiteral("it has an empty return path (a delivery report)");
    if (!replyAddress.contains(QLatin1Char('@')))
        return QStringLiteral("the sender gave no address");
    for (const QString& address : {replyAddress, platform::ExtractAngleAddress(returnPath).trimmed()})
        if (IsSystemAddress(address))
            return QStringLiteral("the sender is a system address (%1)").arg(address);
    return QString();
}

} // namespace autoreply
