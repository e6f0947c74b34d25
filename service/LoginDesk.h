// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "service/ServiceKeys.h"

#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QUrlQuery>
#include <functional>

class UserStore;

// Answers the sign-in script's requests: each answer is the title of the page sent back.
// Signed-in users are kept in memory with their key, internet-call address and last presence;
// a session ends at logout or after three presence periods without presence.
class LoginDesk
{
public:
    enum Function { Logout = 0, Presence = 2, Login = 8, Lookup = 10, Alert = 13 };
    static constexpr int kDefaultPresencePeriod = 489; // seconds between a console's presence requests
    static constexpr int kDefaultVoipPort = 9595;
    // Password guessing: after this many failed logins from one address within the window, that
    // address is refused without a check until the window has passed.
    static constexpr int kMaxFailures = 10;
    static constexpr qint64 kFailureWindow = 10 * 60 * 1000;

    // Titles of refusals; none of them deciphers to a key or holds a comma.
    static constexpr const char* kDenied = "denied";
    static constexpr const char* kOffline = "offline";
    static constexpr const char* kUnknown = "unknown request";

    struct Answer
    {
        QString title;
        int function = -1;
        QString uid;
        QString outcome; // for the log: what happened, never a password
    };

    LoginDesk(UserStore& users, const ServiceKeys& keys, int presencePeriod = kDefaultPresencePeriod,
              std::function<qint64()> clock = {});

    Answer answer(const QUrlQuery& query, const QHostAddress& peer);

    bool isSignedIn(const QString& uid);

private:
    struct Session
    {
        QString key;
        QString address;
        int port = kDefaultVoipPort;
        qint64 lastSeen = 0;
    };

    QString decipher(const QString& dashForm, ServiceKeys::Pair pair) const;
    QString encipher(const QString& text, ServiceKeys::Pair pair) const;
    Session* liveSession(const QString& uid);
    bool keyMatches(const QString& uid, const QString& dashKey);
    void expire();
    bool tooManyFailures(const QString& address);

    UserStore& users_;
    ServiceKeys keys_;
    qint64 sessionLife_; // milliseconds
    std::function<qint64()> clock_;
    QHash<QString, Session> sessions_;
    struct Failures
    {
        int count = 0;
        qint64 since = 0;
    };
    QHash<QString, Failures> failures_; // by peer address
};
