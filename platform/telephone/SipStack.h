// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Only the SIP line's own sources include this: it brings in the stack's headers.
#include <linphone++/linphone.hh>

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

namespace platform {

struct SipLineConfig;
class SipDeferrals;

// The SIP stack of one open line device, set up for the device's settings: no sound card, no
// video, no IPv6, PCMU and PCMA with keys by RFC 4733, its sockets kept from child programs.
// A timer on the thread that started it turns it; what its callbacks report reaches the line
// one turn of the event loop later. Destroying it stops it and drops the reports still pending.
class SipStack
{
public:
    // What the stack reports, never from inside its own callbacks.
    class Reports
    {
    public:
        virtual ~Reports() = default;
        virtual void callState(const std::shared_ptr<linphone::Call>& call, linphone::Call::State state) = 0;
        // A key the caller pressed, already one of 0-9, *, #, A-D.
        virtual void digit(const std::shared_ptr<linphone::Call>& call, const QString& digit) = 0;
        // The account was not registered: the server's refusal code (0 without one) and what to check.
        virtual void registrationFailed(int code, const QString& text) = 0;
        // The server took the account's registration.
        virtual void registered() = 0;
    };

    // Starts a stack that keeps its files in folder; its reports run beside owner. Without a
    // stack, *problem says why.
    static std::unique_ptr<SipStack> start(const SipLineConfig& config, const QString& folder, Reports& reports,
                                           QObject* owner, QString* problem);
    ~SipStack();
    SipStack(const SipStack&) = delete;
    SipStack& operator=(const SipStack&) = delete;

    const std::shared_ptr<linphone::Core>& core() const { return core_; }
    int localPort() const { return localPort_; }
    // The queue the stack's callbacks post to; the call's audio posts its player's reports there.
    const std::shared_ptr<SipDeferrals>& deferrals() const { return deferrals_; }
    // A call in progress needs its keys and speech promptly; an idle line only an INVITE.
    void setBusy(bool busy);
    // The stack listens on every interface. While on, its SIP socket takes from other hosts
    // only answers to what we sent, so only this machine can call in, while calls placed to
    // other hosts still connect. False when the socket could not be told.
    bool setLocalCallersOnly(bool on);

    // The stack opens its sockets without close-on-exec: a program started later (a browser,
    // a test's peer) would inherit them and keep the SIP port taken after the line is closed.
    static void KeepSocketsFromChildren();

private:
    class Events;
    SipStack() = default;
    QString setUp(const SipLineConfig& config, const QString& folder);

    std::shared_ptr<SipDeferrals> deferrals_;
    std::shared_ptr<linphone::Core> core_;
    std::shared_ptr<Events> listener_;
    std::shared_ptr<linphone::Account> account_;
    bool tls_ = false; // the account goes over TLS
    int localPort_ = 0;
    int guardedPort_ = 0; // its UDP port, whose datagrams are screened
    QTimer iterate_;
};

} // namespace platform
