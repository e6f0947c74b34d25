// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ClsLogin.h"

#include "console/QXRSA_Encode.h"
#include "platform/Clock.h"
#include "platform/WebBrowser.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <cmath>

namespace {

constexpr int kKeyDigits = 8;
constexpr int kNonceDigits = 6;

QString Encoded(const QString& text, KeyPair pair)
{
    return Encode(text, pair.exponent, pair.modulus);
}

} // namespace

ClsLogin::ClsLogin(QObject* parent) : QObject(parent)
{
    myKey_ = randomDigits(kKeyDigits);
}

ClsLogin::~ClsLogin()
{
    enableTimer(false);
}

void ClsLogin::SetwebbrowserControl(platform::WebBrowser* browser)
{
    if (browser_)
        browser_->disconnect(this);
    browser_ = browser;
    if (browser)
        connect(browser, &platform::WebBrowser::DocumentComplete, this, &ClsLogin::WebBrowser_DocumentComplete);
}

void ClsLogin::SetTimeControl(QTimer* timer)
{
    if (timer_)
        timer_->disconnect(this);
    timer_ = timer;
    if (timer)
        connect(timer, &QTimer::timeout, this, &ClsLogin::LoginTimer_Timer);
}

void ClsLogin::enableTimer(bool on)
{
    if (!timer_)
        return;
    if (on)
        timer_->start();
    else
        timer_->stop();
}

void ClsLogin::setLoginState(int32_t state)
{
    tickCount_ = 0;
    enableTimer(false);
    loginState_ = state;
    if (state != Stopped)
        enableTimer(true);
}

void ClsLogin::SetLoginID(const QString& name, const QString& password)
{
    uid_ = name;
    password_ = password;
    setLoginState(LoginPending);
}

void ClsLogin::ExecLogin()
{
    lastSuccess_ = platform::AppClock().msecsSinceEpoch();
    issue(LoginRequest);
}

void ClsLogin::LogVOIP(const QString& target)
{
    if (loginState_ != SignedIn && loginState_ != PresenceRequest)
        return;
    savedCount_ = tickCount_;
    target_ = target;
    issue(LookupRequest);
}

void ClsLogin::ExecSendAlert()
{
    issue(AlertRequest);
}

void ClsLogin::Logout()
{
    issue(LogoutRequest);
}

QString ClsLogin::requestAddress(int32_t function)
{
    const KeyPair presence = service_.pair(LoginService::Presence);
    QString tail;
    switch (function) {
    case LogoutRequest: tail = "&key=" + Encoded(myKey_, service_.pair(LoginService::Logout)); break;
    case SignedIn:
        nonce_ = randomDigits(kNonceDigits);
        tail = "&key=" + Encoded(nonce_, presence);
        break;
    case LoginRequest:
        tail = "&pw=" + Encoded(password_, service_.pair(LoginService::Password)) + "&key=" + Encoded(myKey_, presence);
        break;
    case LookupRequest: tail = "&key=" + Encoded(myKey_, presence) + "&TargetUser=" + target_; break;
    case AlertRequest: tail = "&key=" + Encoded(myKey_, presence); break;
    default: return {};
    }
    // the service hands this port to users who look this one up
    if (function == LoginRequest || function == SignedIn)
        tail += "&port=" + QString::number(voipPort_);
    return service_.base() + "QXLogin.php?app=" + appName_ + "&ver=" + appVersion_
           + "&function=" + QString::number(function) + "&uid=" + uid_ + tail;
}

void ClsLogin::issue(int32_t function)
{
    armed_ = true;
    setLoginState(function);
    const QString address = requestAddress(function);
    if (address.isEmpty() || !browser_)
        return;
    browser_->Navigate(address);
}

void ClsLogin::fail()
{
    if (browser_)
        browser_->Stop();
    setLoginState(LogoutRequest);
    enableTimer(false);
    emit LoginError(QStringLiteral("Fail Login server"), 0);
}

void ClsLogin::WebBrowser_DocumentComplete(bool topLevel, const QString& documentType, const QString& title)
{
    if (!armed_ || !topLevel || documentType != QLatin1String(platform::WebBrowser::kHtmlDocument))
        return;
    switch (loginState_) {
    case LogoutRequest:
        enableTimer(false);
        emit LoggedOut(1);
        break;
    case PresenceRequest:
        if (title != nonce_) {
            // stays in 7: the timer asks once more, then gives up
            emit LoginError(QStringLiteral("Fail present"), 7);
            break;
        }
        lastSuccess_ = platform::AppClock().msecsSinceEpoch();
        retried_ = false;
        setLoginState(SignedIn);
        emit PresenceConfirmed();
        break;
    case LoginRequest: {
        const KeyPair answer = service_.pair(LoginService::LoginAnswer);
        if (Decode(title, answer.exponent, answer.modulus) != myKey_ || myKey_.isEmpty()) {
            fail();
            break;
        }
        setLoginState(SignedIn);
        enableTimer(true);
        emit LogIned();
        break;
    }
    case LookupRequest: {
        setLoginState(SignedIn);
        const QStringList fields = title.split(u',');
        if (fields.size() != 3) {
            emit LoginError(QStringLiteral("Could not find server"), 10);
            break;
        }
        const KeyPair lookup = service_.pair(LoginService::Lookup);
        emit LogVOIPFound(fields.at(0), fields.at(1), Decode(fields.at(2), lookup.exponent, lookup.modulus));
        tickCount_ = savedCount_;
        break;
    }
    case AlertRequest:
        setLoginState(SignedIn);
        emit AlertSent();
        break;
    default: break;
    }
}

void ClsLogin::LoginTimer_Timer()
{
    ++tickCount_;
    switch (loginState_) {
    case LogoutRequest:
        if (tickCount_ >= kLogoutTicks) {
            fail();
            emit LoggedOut(2);
        }
        break;
    case SignedIn:
        if (tickCount_ > expectedPresent_) {
            const qint64 since = platform::AppClock().msecsSinceEpoch() - lastSuccess_;
            if (since <= 3 * qint64(expectedPresent_) * 1000) {
                issue(SignedIn);
                setLoginState(PresenceRequest);
            } else {
                fail();
            }
        }
        break;
    case PresenceRequest:
        if (tickCount_ >= kPresenceTicks) {
            if (!retried_) {
                retried_ = true;
                issue(SignedIn);
                setLoginState(PresenceRequest);
            } else {
                retried_ = false;
                fail();
            }
        }
        break;
    case LoginRequest:
        if (tickCount_ >= kLoginTicks)
            fail();
        break;
    case LookupRequest:
        if (tickCount_ >= kLookupTicks) {
            setLoginState(SignedIn);
            emit LoginError(QStringLiteral("Could not find user"), 2);
        }
        break;
    case AlertRequest:
        if (tickCount_ >= kAlertTicks)
            setLoginState(SignedIn);
        break;
    case LoginPending:
        if (tickCount_ >= kPendingTicks)
            emit LogInDelay();
        break;
    default:
        if (tickCount_ >= kOtherTicks)
            fail();
        break;
    }
}

QString ClsLogin::randomDigits(int count) const
{
    // each digit is 48 + 9r rounded half to even, r in [0, 1)
    QString digits;
    for (int i = 0; i < count; ++i) {
        const double r = QRandomGenerator::global()->generateDouble();
        digits += QChar(48 + int(std::nearbyint(9 * r)));
    }
    return digits;
}
