// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace linphone {
class Call;
class Core;
} // namespace linphone

// A telephone for the SIP line's tests, inside the test process: a SIP stack of its own on a
// loopback port, turned by a fast timer on the test's event loop. It calls the line or answers
// the line's call, presses keys as RFC 4733 events, hangs up, and
// keeps what it went through and how loud what it heard was, moment by moment.
class InProcessSipPhone
{
public:
    // from: who calls, e.g. "\"Alice\" <sip:5551234@127.0.0.1>".
    explicit InProcessSipPhone(const QString& from = QStringLiteral("<sip:5551234@127.0.0.1>"));
    ~InProcessSipPhone();
    InProcessSipPhone(const InProcessSipPhone&) = delete;
    InProcessSipPhone& operator=(const InProcessSipPhone&) = delete;

    bool started() const { return port > 0; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    // Places a call to uri; false when the stack refused to.
    bool call(const QString& uri);
    // Ends the call: a BYE once connected, a CANCEL while it rings.
    void hangUp();
    // Keys 0-9, *, #, A-D: by RFC 4733 events one after another as a telephone keys them.
    void press(const QString& keys) { keys_ += keys; }
    // True once every key pressed has gone out.
    bool pressed() const { return keys_.isEmpty(); }

    // What the call went through, in order: "calling", "ringing", "incoming", "connected",
    // "refused 486" (the far end's answer to our call), "ended by them", "ended by us", "failed".
    const QStringList& log() const { return log_; }
    bool waitFor(const QString& entry, int ms = 10000) const;
    // Whom the last call that came in was for (its To).
    QString incomingTo() const { return incomingTo_; }

    // Sound heard, from how loud the call's incoming audio is at each turn.
    qint64 now() const { return clock_.elapsed(); }
    // Seconds with sound at or after ms (of now()).
    double soundSince(qint64 ms) const;

    quint16 port = 0;

private:
    class Events;
    void turn();
    void note(const QString& entry) { log_ << entry; }
    void callState(const std::shared_ptr<linphone::Call>& call, int state);

    QTemporaryDir dir_;
    std::shared_ptr<linphone::Core> core_;
    std::shared_ptr<Events> events_;
    std::shared_ptr<linphone::Call> call_;
    std::vector<std::function<void()>> later_; // what the callbacks leave for after the turn
    bool hungUpHere_ = false, connected_ = false;
    QStringList log_;
    QString incomingTo_;
    QString keys_; // still to be keyed
    qint64 lastKeyMs_ = -1000000;
    QElapsedTimer clock_;
    struct Moment
    {
        qint64 ms;
        bool loud;
    };
    std::vector<Moment> heard_;
    QTimer turn_;
};
