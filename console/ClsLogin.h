// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "console/LoginService.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class QTimer;
namespace platform {
class WebBrowser;
}

// Signs the user in to the web service, keeps the sign-in alive with presence requests, looks
// up another user's internet-call address and sends alerts. Each request is a page fetched by
// the window's browser; the answer is the page title. The window's one-second timer, lent to
// this object, supervises each request by counting ticks.
class ClsLogin : public QObject
{
    Q_OBJECT
public:
    // LoginState: the request in flight or the phase.
    enum State : int32_t {
        LogoutRequest = 0, // also the state after a failure
        SignedIn = 2, // also the code of a presence request
        PresenceRequest = 7,
        LoginRequest = 8,
        LookupRequest = 10,
        AlertRequest = 13,
        LoginPending = 113,
        Stopped = 999, // the timer stays off
    };
    // Ticks each state waits before it gives up (or, pending, before it asks for the login).
    static constexpr int32_t kLogoutTicks = 7;
    static constexpr int32_t kPresenceTicks = 17;
    static constexpr int32_t kLoginTicks = 19;
    static constexpr int32_t kLookupTicks = 17;
    static constexpr int32_t kAlertTicks = 9;
    static constexpr int32_t kPendingTicks = 3;
    static constexpr int32_t kOtherTicks = 9;

    explicit ClsLogin(QObject* parent = nullptr);
    ~ClsLogin() override;

    // The service's address and key pairs.
    void SetService(const LoginService& service) { service_ = service; }
    void SetwebbrowserControl(platform::WebBrowser* browser);
    void SetTimeControl(QTimer* timer);

    void AppnameValue(const QString& value) { appName_ = value; }
    void AppversionValue(const QString& value) { appVersion_ = value; }
    void ExpectedPresentValue(int32_t seconds) { expectedPresent_ = seconds; }
    // The internet-call port the service hands to users who look this one up; sent with the
    // login and presence requests.
    void SetVoipPort(int32_t port) { voipPort_ = port; }

    int32_t LoginState() const { return loginState_; }
    void setLoginState(int32_t state);
    QString MyKey() const { return myKey_; }
    QString UID() const { return uid_; }

    void SetLoginID(const QString& name, const QString& password);
    void ExecLogin();
    void LogVOIP(const QString& target);
    void ExecSendAlert();
    void Logout();

    // The lent timer's tick and the browser's page-complete.
    void LoginTimer_Timer();
    void WebBrowser_DocumentComplete(bool topLevel, const QString& documentType, const QString& title);

    // Seconds counted in the current state.
    int32_t tickCount() const { return tickCount_; }

signals:
    void AlertSent();
    void LogIned();
    void LogInDelay();
    void LoginError(const QString& message, int code);
    void LoggedOut(int result); // 1 the logout page arrived, 2 it timed out
    void PresenceConfirmed();
    void LogVOIPFound(const QString& first, const QString& second, const QString& third);

private:
    void issue(int32_t function);
    QString requestAddress(int32_t function);
    void fail();
    QString randomDigits(int count) const;
    void enableTimer(bool on);

    QPointer<platform::WebBrowser> browser_;
    QPointer<QTimer> timer_;
    LoginService service_;

    int32_t loginState_ = LogoutRequest;
    int32_t tickCount_ = 0;
    int32_t savedCount_ = 0;
    int32_t expectedPresent_ = 489;
    int32_t voipPort_ = 9595;
    qint64 lastSuccess_ = 0; // milliseconds of the program's clock
    bool armed_ = false;
    bool retried_ = false;
    QString myKey_;
    QString nonce_;
    QString uid_;
    QString password_;
    QString target_;
    QString appName_;
    QString appVersion_;
};
