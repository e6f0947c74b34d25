// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipKeypad.h"

#include <QRegularExpression>

namespace platform {

namespace {

constexpr int kMaxInfoBody = 64; // a keypad INFO body is a few bytes

} // namespace

QString KeypadDigit(QChar c)
{
    const char16_t u = c.toUpper().unicode();
    if ((u >= u'0' && u <= u'9') || u == u'*' || u == u'#' || (u >= u'A' && u <= u'D'))
        return QString(QChar(u));
    return {};
}

QString KeypadKeyFromInfo(const QString& type, const QString& subtype, const QByteArray& body)
{
    if (type.compare(u"application", Qt::CaseInsensitive) != 0 || body.isEmpty() || body.size() > kMaxInfoBody)
        return {};
    QString text = QString::fromLatin1(body).trimmed();
    if (subtype.compare(u"dtmf-relay", Qt::CaseInsensitive) == 0) { // normally taken by the stack itself
        static const QRegularExpression signal(QStringLiteral("^Signal\\s*=\\s*(\\S)\\s*(\\r?\\n|$)"),
                                               QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = signal.match(text);
        text = m.hasMatch() ? m.captured(1) : QString();
    } else if (subtype.compare(u"dtmf", Qt::CaseInsensitive) != 0) {
        return {};
    }
    return text.size() == 1 ? KeypadDigit(text[0]) : QString();
}

} // namespace platform
