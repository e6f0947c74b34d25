// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLineConfig.h"

#include "platform/SettingsStore.h"
#include "platform/telephone/SipTexts.h"

#include <QRegularExpression>
#include <algorithm>

namespace platform {

namespace {

constexpr int kMaxDevices = 64; // a damaged count must not make a huge list

const QRegularExpression& HostPort()
{
    static const QRegularExpression re(QStringLiteral(R"(^(\[[0-9A-Fa-f:.]+\]|[A-Za-z0-9.\-]+)(:(\d{1,5}))?$)"));
    return re;
}

bool ValidHostPort(const QString& text)
{
    const QRegularExpressionMatch m = HostPort().match(text);
    return m.hasMatch() && (m.captured(3).isEmpty() || (m.captured(3).toInt() >= 1 && m.captured(3).toInt() <= 65535));
}

// sip:user@domain, the domain with an optional port
bool ValidIdentity(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(R"(^sips?:([^@\s:;<>"]+)@(\S+)$)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() && ValidHostPort(m.captured(2));
}

QString Key(int index, const char* field)
{
    return QStringLiteral("sipDevice%1%2").arg(index).arg(QLatin1String(field));
}

} // namespace

QString SipIdentityUser(const QString& identity)
{
    const qsizetype colon = identity.indexOf(u':');
    const qsizetype at = identity.indexOf(u'@');
    return at > colon ? identity.mid(colon + 1, at - colon - 1) : QString();
}

QString SipIdentityDomain(const QString& identity)
{
    const qsizetype at = identity.indexOf(u'@');
    return at < 0 ? QString() : identity.mid(at + 1);
}

QString SipLineConfig::name(int position) const
{
    if (kind == Kind::Direct)
        return SipText("DirectName", "SIP direct port %1").arg(port);
    QString address = identity.trimmed();
    address.remove(QRegularExpression(QStringLiteral("^sips?:")));
    if (address.isEmpty())
        address = server.trimmed();
    if (address.isEmpty())
        return SipText("LineName", "SIP line %1").arg(position);
    return QStringLiteral("SIP %1").arg(address);
}

QString SipLineConfig::problem() const
{
    if (kind == Kind::Direct) {
        if (port < 1 || port > 65535)
            return SipText("BadPort", "The port must be a number from 1 to 65535.");
        if (!server.isEmpty() && !ValidHostPort(server))
            return SipText("BadTarget", "The target host must be a host name or address, with an optional :port.");
        return {};
    }
    if (!ValidIdentity(identity))
        return SipText("BadIdentity", "The identity must look like sip:user@example.org.");
    if (!ValidHostPort(server))
        return SipText("BadServer", "The server must be a host name or address, with an optional :port.");
    if (!transport.isEmpty() && transport != u"udp" && transport != u"tcp" && transport != u"tls")
        return SipText("BadTransport", "The transport must be udp, tcp or tls.");
    if (port < 0 || port > 65535)
        return SipText("BadLocalPort", "The local port must be 0 (any) or a number up to 65535.");
    if (user.contains(QRegularExpression(QStringLiteral("\\s"))))
        return SipText("BadUser", "The user name must not contain blanks.");
    return {};
}

QList<SipLineConfig> LoadSipLines(const SettingsStore& store)
{
    QList<SipLineConfig> lines;
    const int count =
        std::clamp(store.GetSetting(QStringLiteral("sipDevices"), QStringLiteral("0")).toInt(), 0, kMaxDevices);
    for (int i = 0; i < count; ++i) {
        SipLineConfig c;
        c.kind = store.GetSetting(Key(i, "Kind"), QString()).compare(u"direct", Qt::CaseInsensitive) == 0
                     ? SipLineConfig::Kind::Direct
                     : SipLineConfig::Kind::Account;
        c.identity = store.GetSetting(Key(i, "Identity"), QString());
        c.server = store.GetSetting(Key(i, "Server"), QString());
        c.user = store.GetSetting(Key(i, "User"), QString());
        c.password = store.GetSetting(Key(i, "Password"), QString());
        c.transport = store.GetSetting(Key(i, "Transport"), QString()).toLower();
        c.port = std::clamp(store.GetSetting(Key(i, "Port"), QStringLiteral("0")).toInt(), 0, 65535);
        lines.append(c);
    }
    return lines;
}

bool SaveSipLines(SettingsStore& store, const QList<SipLineConfig>& lines)
{
    const int before = store.GetSetting(QStringLiteral("sipDevices"), QStringLiteral("0")).toInt();
    bool ok = store.SaveSetting(QStringLiteral("sipDevices"), QString::number(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        const SipLineConfig& c = lines[i];
        ok &= store.SaveSetting(Key(i, "Kind"), c.kind == SipLineConfig::Kind::Direct ? QStringLiteral("direct")
                                                                                      : QStringLiteral("account"));
        ok &= store.SaveSetting(Key(i, "Identity"), c.identity);
        ok &= store.SaveSetting(Key(i, "Server"), c.server);
        ok &= store.SaveSetting(Key(i, "User"), c.user);
        ok &= store.SaveSetting(Key(i, "Password"), c.password);
        ok &= store.SaveSetting(Key(i, "Transport"), c.transport);
        ok &= store.SaveSetting(Key(i, "Port"), QString::number(c.port));
    }
    // a removed account leaves no password behind
    for (int i = int(lines.size()); i < std::min(before, kMaxDevices); ++i)
        for (const char* field : {"Kind", "Identity", "Server", "User", "Password", "Transport", "Port"})
            ok &= store.SaveSetting(Key(i, field), QString());
    return ok;
}

QString LoadSipDialPrefix(const SettingsStore& store)
{
    const QString prefix = store.GetSetting(QStringLiteral("sipDialPrefix"), QString());
    return IsValidDialPrefix(prefix) ? prefix : QString();
}

bool SaveSipDialPrefix(SettingsStore& store, const QString& prefix)
{
    return store.SaveSetting(QStringLiteral("sipDialPrefix"), prefix);
}

bool IsValidDialPrefix(const QString& prefix)
{
    static const QRegularExpression re(QStringLiteral("^[0-9*#+]*$"));
    return prefix.size() <= 32 && re.match(prefix).hasMatch();
}

} // namespace platform
