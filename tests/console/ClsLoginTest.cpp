// SPDX-License-Identifier: GPL-3.0-or-later
// The web sign-in against a scripted browser: the requests it builds, how it reads each answer
// page, and what each state does when the timer's ticks run out. Ticks are given one by one.
#include "LoginKeys.h"
#include "TestSupport.h"
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

// What the service would decipher from a request field.
QString Deciphered(const QString& dashForm, const Pair& pair)
{
    return Decode(QString(dashForm).replace(u'-', u'+'), pair.serviceExponent, pair.console.modulus);
}
QString Enciphered(const QString& text, const Pair& pair)
{
    return Encode(text, pair.serviceExponent, pair.console.modulus).replace(u'-', u'+');
}

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
    QSignalSpy delays{&login, &ClsLogin::LogInDelay};
    QSignalSpy present{&login, &ClsLogin::PresenceConfirmed};
    QSignalSpy found{&login, &ClsLogin::LogVOIPFound};
    QSignalSpy loggedOut{&login, &ClsLogin::LoggedOut};
    QSignalSpy alerts{&login, &ClsLogin::AlertSent};
};

TEST_F(SignIn, WaitsThreeTicksThenAsksForTheLoginOnEveryTick)
{
    login.SetLoginID("alice", "s3cret");
    EXPECT_EQ(login.LoginState(), ClsLogin::LoginPending);
    EXPECT_TRUE(timer.isActive());
    for (const int asked : {0, 0, 1, 2}) {
        tick();
        EXPECT_EQ(delays.count(), asked);
    }
    EXPECT_TRUE(browser.visited.isEmpty());
}

TEST_F(SignIn, WrongLoginAnswerFailsAndStopsTheBrowser)
{
    for (const QString& title : {QString("denied"), QString(), Enciphered("12345678x", kAnswer)}) {
        SCOPED_TRACE(title.toStdString());
        errors.clear();
        login.SetLoginID("alice", "s3cret");
        login.ExecLogin();
        const int stops = browser.stops;
        browser.page(title);
        EXPECT_EQ(Emitted(errors), Emitted({{"Fail Login server", 0}}));
        EXPECT_EQ(login.LoginState(), ClsLogin::LogoutRequest);
        EXPECT_FALSE(timer.isActive());
        EXPECT_EQ(browser.stops, stops + 1);
    }
    EXPECT_EQ(signedIn.count(), 0);
}

TEST_F(SignIn, PagesFromSubFramesOtherDocumentsOrUnaskedAreIgnored)
{
    browser.page(Enciphered(login.MyKey(), kAnswer)); // nothing asked yet
    login.SetLoginID("alice", "s3cret");
    browser.page("denied");
    login.ExecLogin();
    browser.page("denied", false);
    browser.page("denied", true, "Document");
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(login.LoginState(), ClsLogin::LoginRequest);
    browser.page(Enciphered(login.MyKey(), kAnswer));
    EXPECT_EQ(signedIn.count(), 1);
}

TEST_F(SignIn, PresenceEveryPeriodEchoesTheNonceAndIsAskedOnceMoreBeforeItFails)
{
    signIn();
    tick(kPeriod);
    EXPECT_EQ(browser.visited.size(), 1); // only once the counter exceeds the period
    clock.advance(kPeriod * 1000);
    tick();
    ASSERT_EQ(browser.visited.size(), 2);
    EXPECT_EQ(login.LoginState(), ClsLogin::PresenceRequest);
    const QUrlQuery q = browser.lastQuery();
    EXPECT_EQ(q.queryItemValue("function"), "2");
    EXPECT_EQ(q.queryItemValue("port"), "9595");
    const QString nonce = Deciphered(q.queryItemValue("key"), kPresence);
    EXPECT_EQ(nonce.size(), 6);
    browser.page(nonce);
    EXPECT_EQ(present.count(), 1);
    EXPECT_EQ(login.LoginState(), ClsLogin::SignedIn);
    EXPECT_EQ(login.tickCount(), 0);

    // the next exchange picks a new nonce; an old one does not confirm it
    clock.advance((kPeriod + 1) * 1000);
    tick(kPeriod + 1);
    const QString second = Deciphered(browser.lastQuery().queryItemValue("key"), kPresence);
    browser.page(second == nonce ? QString("0") : nonce);
    EXPECT_EQ(present.count(), 1);
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail present", 7}}));
    EXPECT_EQ(login.LoginState(), ClsLogin::PresenceRequest);

    // still waiting: asked once more on the request's last tick, and the second time the sign-in fails
    const qsizetype asked = browser.visited.size();
    tick(ClsLogin::kPresenceTicks - 1);
    EXPECT_EQ(browser.visited.size(), asked);
    tick();
    EXPECT_EQ(browser.visited.size(), asked + 1);
    EXPECT_EQ(login.LoginState(), ClsLogin::PresenceRequest);
    tick(ClsLogin::kPresenceTicks - 1);
    EXPECT_EQ(errors.count(), 1);
    tick();
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail present", 7}, {"Fail Login server", 0}}));
    EXPECT_EQ(login.LoginState(), ClsLogin::LogoutRequest);
    EXPECT_FALSE(timer.isActive());
}

TEST_F(SignIn, APresenceConfirmedOnItsRetryLeavesTheNextOneItsRetry)
{
    signIn();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        tick(kPeriod + 1);
        tick(ClsLogin::kPresenceTicks); // unanswered: asked again
        ASSERT_EQ(login.LoginState(), ClsLogin::PresenceRequest);
        browser.page(Deciphered(browser.lastQuery().queryItemValue("key"), kPresence));
        EXPECT_EQ(login.LoginState(), ClsLogin::SignedIn);
    }
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(present.count(), 2);
}

TEST_F(SignIn, PresenceAfterALongSilenceFailsInstead)
{
    signIn();
    clock.advance(3 * kPeriod * 1000 + 1);
    tick(kPeriod + 1);
    EXPECT_EQ(browser.visited.size(), 1);
    EXPECT_EQ(Emitted(errors), Emitted({{"Fail Login server", 0}}));
}

TEST_F(SignIn, LookupNeedsExactlyThreeFields)
{
    struct Row
    {
        QString title;
        bool found;
    } rows[] = {
        {"192.0.2.7,9595," + Enciphered("87654321", kLookup), true},
        {"192.0.2.7,9595", false},
        {"192.0.2.7,9595,1+2,extra", false},
        {"offline", false},
    };
    signIn();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.title.toStdString());
        errors.clear();
        found.clear();
        tick(3);
        login.LogVOIP("bob");
        ASSERT_EQ(login.LoginState(), ClsLogin::LookupRequest);
        tick(2);
        browser.page(r.title);
        EXPECT_EQ(login.LoginState(), ClsLogin::SignedIn);
        EXPECT_EQ(Emitted(found), r.found ? Emitted({{"192.0.2.7", "9595", "87654321"}}) : Emitted());
        EXPECT_EQ(Emitted(errors), r.found ? Emitted() : Emitted({{"Could not find server", 10}}));
        if (r.found) {
            EXPECT_EQ(login.tickCount(), 3); // the presence count goes on where it was
        }
        login.setLoginState(ClsLogin::SignedIn);
    }
}

TEST_F(SignIn, LookupOnlyWhileSignedIn)
{
    login.SetLoginID("alice", "s3cret");
    for (int32_t state : {ClsLogin::LoginPending, ClsLogin::LoginRequest, ClsLogin::LogoutRequest,
                          ClsLogin::AlertRequest, ClsLogin::Stopped}) {
        login.setLoginState(state);
        login.LogVOIP("bob");
        EXPECT_EQ(login.LoginState(), state);
    }
    EXPECT_TRUE(browser.visited.isEmpty());
    login.setLoginState(ClsLogin::PresenceRequest);
    login.LogVOIP("bob");
    EXPECT_EQ(login.LoginState(), ClsLogin::LookupRequest);
}

// Each state gives up on its own tick: not one tick early.
TEST_F(SignIn, EachStateGivesUpAfterItsTicks)
{
    struct Row
    {
        const char* what;
        std::function<void()> start;
        int ticks;
        int32_t stateAfter = ClsLogin::LogoutRequest;
        QString error = "Fail Login server"; // "" for none
        int code = 0;
        int loggedOut = 0; // Logout(result), 0 for none
    } rows[] = {
        // a request of the sign-in itself fails it; one made while signed in leaves the user signed in
        {.what = "login", .start = [&] { login.ExecLogin(); }, .ticks = ClsLogin::kLoginTicks},
        {.what = "lookup",
         .start = [&] { login.LogVOIP("bob"); },
         .ticks = ClsLogin::kLookupTicks,
         .stateAfter = ClsLogin::SignedIn,
         .error = "Could not find user",
         .code = 2},
        {.what = "alert",
         .start = [&] { login.ExecSendAlert(); },
         .ticks = ClsLogin::kAlertTicks,
         .stateAfter = ClsLogin::SignedIn,
         .error = ""},
        {.what = "logout", .start = [&] { login.Logout(); }, .ticks = ClsLogin::kLogoutTicks, .loggedOut = 2},
        // a state the object does not know fails the sign-in as well
        {.what = "unknown state", .start = [&] { login.setLoginState(50); }, .ticks = ClsLogin::kOtherTicks},
        {.what = "above pending", .start = [&] { login.setLoginState(114); }, .ticks = ClsLogin::kOtherTicks},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        login.SetLoginID("alice", "s3cret");
        login.setLoginState(ClsLogin::SignedIn);
        errors.clear();
        loggedOut.clear();
        r.start();
        const int32_t waiting = login.LoginState();
        tick(r.ticks - 1);
        EXPECT_EQ(login.LoginState(), waiting);
        EXPECT_EQ(errors.count(), 0);
        tick();
        EXPECT_EQ(login.LoginState(), r.stateAfter);
        EXPECT_EQ(Emitted(errors), r.error.isEmpty() ? Emitted() : Emitted({{r.error, r.code}}));
        EXPECT_EQ(Emitted(loggedOut), r.loggedOut ? Emitted({{r.loggedOut}}) : Emitted());
        EXPECT_EQ(timer.isActive(), r.stateAfter == ClsLogin::SignedIn);
    }
}

} // namespace
