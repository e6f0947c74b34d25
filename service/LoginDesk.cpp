// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/LoginDesk.h"

#include "console/QXRSA_Encode.h"
#include "service/UserStore.h"

#include <QDateTime>

namespace {

constexpr qsizetype kMaxField = 1024; // a request field longer than this is not a console's
constexpr qsizetype kMaxKey = 64; // characters of a deciphered key

QString Address(const QHostAddress& peer)
{
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : peer.toString();
}

int Port(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : LoginDesk::kDefaultVoipPort;
}

} // namespace

LoginDesk::LoginDesk(UserStore& users, const ServiceKeys& keys, int presencePeriod, std::function<qint64()> clock)
    : users_(users), keys_(keys), sessionLife_(3 * qint64(presencePeriod) * 1000),
      clock_(clock ? std::move(clock) : [] { return QDateTime::currentMSecsSinceEpoch(); })
{ }

QString LoginDesk::decipher(const QString& dashForm, ServiceKeys::Pair pair) const
{
    const auto key = keys_.keys[pair];
    return Decode(QString(dashForm).replace(u'-', u'+'), key.exponent, key.modulus);
}

QString LoginDesk::encipher(const QString& text, ServiceKeys::Pair pair) const
{
    const auto key = keys_.keys[pair];
    return Encode(text, key.exponent, key.modulus).replace(u'-', u'+');
}

void LoginDesk::expire()
{
    const qint64 now = clock_();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (now - it->lastSeen > sessionLife_)
            it = sessions_.erase(it);
        else
            ++it;
    }
}

LoginDesk::Session* LoginDesk::liveSession(const QString& uid)
{
    expire();
    const auto it = sessions_.find(uid);
    return it == sessions_.end() ? nullptr : &it.value();
}

bool LoginDesk::tooManyFailures(const QString& address)
{
    const qint64 now = clock_();
    for (auto it = failures_.begin(); it != failures_.end();) {
        if (now - it->since > kFailureWindow)
            it = failures_.erase(it);
        else
            ++it;
    }
    return failures_.value(address).count >= kMaxFailures;
}

bool LoginDesk::isSignedIn(const QString& uid)
{
    return liveSession(uid) != nullptr;
}

bool LoginDesk::keyMatches(const QString& uid, const QString& dashKey)
{
    const Session* session = liveSession(uid);
    return session && !session->key.isEmpty() && decipher(dashKey, ServiceKeys::Presence) == session->key;
}

LoginDesk::Answer LoginDesk::answer(const QUrlQuery& query, const QHostAddress& peer)
{
    Answer a;
    const auto field = [&](const char* name) {
        const QString value = query.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
        return value.size() > kMaxField ? QString() : value;
    };
    bool numeric = false;
    const int function = field("function").toInt(&numeric);
    a.function = numeric ? function : -1;
    a.uid = field("uid");
    const QString key = field("key");
    if (!numeric || !UserStore::nameProblem(a.uid).isEmpty() || key.isEmpty()) {
        a.title = QString::fromLatin1(kUnknown);
        a.outcome = QStringLiteral("incomplete request");
        return a;
    }

    switch (function) {
    case Login: {
        const QString password = decipher(field("pw"), ServiceKeys::Password);
        const QString myKey = decipher(key, ServiceKeys::Presence);
        const QString address = Address(peer);
        if (tooManyFailures(address)) {
            a.title = QString::fromLatin1(kDenied);
            a.outcome = QStringLiteral("refused: too many failed logins from this address");
        } else if (myKey.isEmpty() || myKey.size() > kMaxKey) {
            a.title = QString::fromLatin1(kDenied);
            a.outcome = QStringLiteral("unreadable key");
        } else if (!users_.checkPassword(a.uid, password)) {
            Failures& f = failures_[address];
            if (f.count++ == 0)
                f.since = clock_();
            a.title = QString::fromLatin1(kDenied);
            a.outcome = QStringLiteral("wrong name or password");
        } else {
            sessions_.insert(a.uid, Session{myKey, address, Port(field("port")), clock_()});
            a.title = encipher(myKey, ServiceKeys::LoginAnswer);
            a.outcome = QStringLiteral("signed in");
        }
        break;
    }
    case Presence: {
        const QString nonce = decipher(key, ServiceKeys::Presence);
        Session* session = liveSession(a.uid);
        if (!session || nonce.isEmpty() || nonce.size() > kMaxKey) {
            a.title = QString::fromLatin1(kOffline);
            a.outcome = session ? QStringLiteral("unreadable presence") : QStringLiteral("not signed in");
        } else {
            session->address = Address(peer);
            session->port = Port(field("port"));
            session->lastSeen = clock_();
            a.title = nonce;
            a.outcome = QStringLiteral("present");
        }
        break;
    }
    case Lookup: {
        const QString target = field("TargetUser");
        const Session* found = nullptr;
        if (!keyMatches(a.uid, key)) {
            a.title = QString::fromLatin1(kDenied);
            a.outcome = QStringLiteral("lookup refused: not signed in");
        } else if (!(found = liveSession(target))) {
            a.title = QString::fromLatin1(kOffline);
            a.outcome = QStringLiteral("lookup: %1 not signed in")
                            .arg(UserStore::nameProblem(target).isEmpty() ? target : QStringLiteral("(bad name)"));
        } else {
            a.title =
                found->address + u',' + QString::number(found->port) + u',' + encipher(found->key, ServiceKeys::Lookup);
            a.outcome = QStringLiteral("lookup: found %1").arg(target);
        }
        break;
    }
    case Alert:
        if (keyMatches(a.uid, key)) {
            a.title = QStringLiteral("ok");
            a.outcome = QStringLiteral("alert");
        } else {
            a.title = QString::fromLatin1(kDenied);
            a.outcome = QStringLiteral("alert refused: not signed in");
        }
        break;
    case Logout: {
        const Session* session = liveSession(a.uid);
        const auto logoutKey = keys_.keys[ServiceKeys::Logout];
        const QString myKey = Decode(QString(key).replace(u'-', u'+'), logoutKey.exponent, logoutKey.modulus);
        if (session && !session->key.isEmpty() && myKey == session->key) {
            sessions_.remove(a.uid);
            a.outcome = QStringLiteral("signed out");
        } else {
            a.outcome = QStringLiteral("logout of no session");
        }
        a.title = QStringLiteral("bye");
        break;
    }
    default:
        a.title = QString::fromLatin1(kUnknown);
        a.outcome = QStringLiteral("unknown function");
        break;
    }
    return a;
}
