// SPDX-License-Identifier: GPL-3.0-or-later
// The web sign-in against a scripted browser: the requests it builds, how it reads each answer
// page, and what each state does when the timer's ticks run out. Ticks are given one by one.
#include "LoginKeys.h"
#include "console/ClsLogin.h"
#include "console/QXRSA_Encode.h"
#include "platform/Clock.h"
#include "platform/WebBrowser.h"

#include <QSignalSpy>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using namespace login_keys;
using Emitted = QList<QVariantList>; // what a signal spy took down

class ScriptedBrowser : public platform::WebBrowser
{
public:
    QStringList visited;
    int stops = 0;
    void Navigate(const QString& url) override { visited << url; }
    void Stop() override { ++stops; }
    void page(const QString& title, bool topLevel = true, const QString& type = "HTMLDocument")
    {
        emit DocumentComplete(topLevel, type, title);
    }
    QUrlQuery lastQuery() const { return QUrlQuery(visited.value(visited.size() - 1).section(u'?', 1)); }
};

// What the service would decipher from a request field, and what it would send.
const auto Deciphered = [](const QString& dashForm, const Pair& pair) {
    return Decode(QString(dashForm).replace(u'-', u'+'), pair.serviceExponent, pair.console.modulus);
};
const auto Enciphered = [](const QString& text, const Pair& pair) {
    return Encode(text, pair.serviceExponent, pair.console.modulus).replace(u'-', u'+');
};

class SignIn : public ::testing::Test
{
protected:
    static constexpr int kPeriod = 5; // presence period in ticks (seconds)

    SignIn()
    {
        platform::SetAppClock(&clock);
        login.SetService(Service("https://login.example/kv/"));
        login.SetwebbrowserControl(&browser);
        login.SetTimeControl(&timer);
        login.AppnameValue("kv_");
        login.AppversionValue("115");
        login.ExpectedPresentValue(kPeriod);
        timer.setInterval(1000);
    }
    ~SignIn() override { platform::SetAppClock(nullptr); }

    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            login.LoginTimer_Timer();
    }
    void signIn()
    {
        login.SetLoginID("alice", "s3cret");
        login.ExecLogin();
        browser.page(Enciphered(login.MyKey(), kAnswer));
        ASSERT_EQ(login.LoginState(), ClsLogin::SignedIn);
    }

    platform::ManualClock clock{1'000'000};
    ScriptedBrowser browser;
    QTimer timer;
    ClsLogin login;
    QSignalSpy errors{&login, &ClsLogin::LoginError};
    QSignalSpy signedIn{&login, &ClsLogin::LogIned};
    QSignalSpy present{&login, &ClsLogin::PresenceConfirmed};
    QSignalSpy found{&login, &ClsLogin::LogVOIPFound};
    QSignalSpy loggedOut{&login, &ClsLogin::LoggedOut};
};

// Pages unasked, from sub-frames or of another kind are not the answer; a wrong answer fails
// the sign-in and stops the browser.
TEST_F(SignIn, OnlyTheAskedPageAnswersAndAWrongAnswerFails)
{
    browser.page(Enciphered(login.MyKey(), kAnswer)); // nothing asked yet
    for (const QString& title : {QString("denied"), QString(), Enciphered("12345678x", kAnswer)}) {
        SCOPED_TRACE(title.toStdString());
        errors.clear();
        login.SetLoginID("alice", "s3cret");
        browser.page(title);
        login.ExecLogin();
        browser.page(title, false);
        browser.page(title, true, "Document");
        EXPECT_EQ(std::pair(login.LoginState(), errors.count()),
                  std::pair(int32_t(ClsLogin::LoginRequest), qsizetype(0)));
        const int stops = browser.stops;
        browser.page(title);
        EXPECT_EQ(Emitted(errors), Emitted({{"Fail Login server", 0}}));
        EXPECT_EQ(login.LoginState(), ClsLogin::LogoutRequest);
        EXPECT_FALSE(timer.isActive());
        EXPECT_EQ(browser.stops, stops + 1);
    }
    login.SetLoginID("alice", "s3cret");
    login.ExecLogin();
    browser.page(Enciphered(login.MyKey(), kAnswer));
    EXPECT_EQ(signedIn.count(), 1);
}

// Presence is asked every period with a new nonce to echo; unanswered, it is asked once more
// on the request's last tick, and a presence confirmed on that retry leaves the next one its
// retry. A stale nonce does not confirm it; a second silence fails the sign-in, and so does
// presence due after a long silence (a machine that slept).
TEST_F(SignIn, PresenceEchoesTheNonceAndIsAskedOnceMoreBeforeItFails)
{
    signIn();
    tick(kPeriod);
    EXPECT_EQ(browser.visited.size(), 1); // only once the counter exceeds the period
    for (int round = 0; round < 2; ++round) {
        tick(1 + ClsLogin::kPresenceTicks); // unanswered: asked again
        ASSERT_EQ(login.LoginState(), ClsLogin::PresenceRequest);
        browser.page(Deciphered(browser.lastQuery().queryItemValue("key"), kPresence));
        EXPECT_EQ(std::pair(login.LoginState(), login.tickCount()), std::pair(int32_t(ClsLogin::SignedIn), 0));
        tick(kPeriod);
    }
    EXPECT_EQ(std::pair(errors.count(), present.count()), std::pair(qsizetype(0), qsizetype(2)));
    clock.advance(3 * kPeriod * 1000);
    tick();
    const QUrlQuery q = browser.lastQuery();
    EXPECT_EQ(std::pair(q.queryItemValue("function"), q.queryItemValue("port")),
              std::pair(QString("2"), QString("9595")));
    const QString nonce = Deciphered(q.queryItemValue("key"), kPresence);
    EXPECT_EQ(nonce.size(), 6);
    browser.page(nonce);
    EXPECT_EQ(present.count(), 3);

    clock.advance((kPeriod + 1) * 1000);
    tick(kPeriod + 1);
    const QString second = Deciphered(browser.lastQuery().queryItemValue("key"), kPresence);
    browser.page(second == nonce ? QString("0") : nonce);
    EXPECT_EQ(present.count(), 3);
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail present", 7}}));
    EXPECT_EQ(login.LoginState(), ClsLogin::PresenceRequest);
    const qsizetype asked = browser.visited.size();
    tick(ClsLogin::kPresenceTicks - 1);
    EXPECT_EQ(browser.visited.size(), asked);
    tick();
    EXPECT_EQ(browser.visited.size(), asked + 1);
    tick(ClsLogin::kPresenceTicks - 1);
    EXPECT_EQ(errors.count(), 1);
    tick();
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail present", 7}, {"Fail Login server", 0}}));
    EXPECT_EQ(login.LoginState(), ClsLogin::LogoutRequest);

    errors.clear();
    signIn();
    clock.advance(3 * kPeriod * 1000 + 1);
    tick(kPeriod + 1);
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail Login server", 0}}));
}

TEST_F(SignIn, LookupNeedsExactlyThreeFields)
{
    signIn();
    for (const QString& title : {"192.0.2.7,9595," + Enciphered("87654321", kLookup), QString("192.0.2.7,9595"),
                                 QString("192.0.2.7,9595,1+2,extra"), QString("offline")}) {
        SCOPED_TRACE(title.toStdString());
        const bool ok = title.count(u',') == 2;
        errors.clear();
        found.clear();
        tick(3);
        login.LogVOIP("bob");
        ASSERT_EQ(login.LoginState(), ClsLogin::LookupRequest);
        tick(2);
        browser.page(title);
        EXPECT_EQ(login.LoginState(), ClsLogin::SignedIn);
        EXPECT_EQ(Emitted(found), ok ? Emitted({{"192.0.2.7", "9595", "87654321"}}) : Emitted());
        EXPECT_EQ(Emitted(errors), ok ? Emitted() : Emitted({{"Could not find server", 10}}));
        if (ok) {
            EXPECT_EQ(login.tickCount(), 3) << "the presence count goes on where it was";
        }
        login.setLoginState(ClsLogin::SignedIn);
    }
}

// Each state gives up on its own tick: not one tick early.
TEST_F(SignIn, EachStateGivesUpAfterItsTicks)
{
    const QString fail = "Fail Login server";
    // A request of the sign-in itself fails it, as does a state the object does not know; one
    // made while signed in leaves the user signed in. Logout(result) 0 is none.
    const std::tuple<const char*, std::function<void()>, int, int32_t, QString, int, int> rows[] = {
        {"login", [&] { login.ExecLogin(); }, ClsLogin::kLoginTicks, ClsLogin::LogoutRequest, fail, 0, 0},
        {"lookup", [&] { login.LogVOIP("bob"); }, ClsLogin::kLookupTicks, ClsLogin::SignedIn, "Could not find user", 2,
         0},
        {"alert", [&] { login.ExecSendAlert(); }, ClsLogin::kAlertTicks, ClsLogin::SignedIn, "", 0, 0},
        {"logout", [&] { login.Logout(); }, ClsLogin::kLogoutTicks, ClsLogin::LogoutRequest, fail, 0, 2},
        {"unknown state", [&] { login.setLoginState(50); }, ClsLogin::kOtherTicks, ClsLogin::LogoutRequest, fail, 0,
         0}};
    for (const auto& [what, start, ticks, stateAfter, error, code, result] : rows) {
        SCOPED_TRACE(what);
        login.SetLoginID("alice", "s3cret");
        login.setLoginState(ClsLogin::SignedIn);
        errors.clear();
        loggedOut.clear();
        start();
        const int32_t waiting = login.LoginState();
        tick(ticks - 1);
        EXPECT_EQ(std::pair(login.LoginState(), errors.count()), std::pair(waiting, qsizetype(0)));
        tick();
        EXPECT_EQ(login.LoginState(), stateAfter);
        EXPECT_EQ(Emitted(errors), error.isEmpty() ? Emitted() : Emitted({{error, code}}));
        EXPECT_EQ(Emitted(loggedOut), result ? Emitted({{result}}) : Emitted());
        EXPECT_EQ(timer.isActive(), stateAfter == ClsLogin::SignedIn);
    }
}

} // namespace
