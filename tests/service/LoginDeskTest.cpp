// SPDX-License-Identifier: GPL-3.0-or-later
// The service's answers to the sign-in script, request by request, with a clock the test moves.
#include "TestSupport.h"
#include "console/LoginKeys.h"
#include "console/QXRSA_Encode.h"
#include "service/LoginDesk.h"
#include "service/UserStore.h"

#include <gtest/gtest.h>

namespace {

using namespace login_keys;

// What a console puts in a request field, and reads from an answer.
QString Sent(const QString& text, const Pair& p)
{
    return Encode(text, p.console.exponent, p.console.modulus);
}
QString Read(const QString& title, const Pair& p)
{
    return Decode(title, p.console.exponent, p.console.modulus);
}

class Desk : public ::testing::Test
{
protected:
    static constexpr int kPeriod = 10;

    Desk()
    {
        EXPECT_TRUE(users.open(folder.file("users.db"))) << qPrintable(users.lastError());
        EXPECT_TRUE(users.addUser("alice", "s3cret"));
        EXPECT_TRUE(users.addUser("bob", "b0b-pw"));
    }

    LoginDesk::Answer ask(const QString& query, const char* peer = "192.0.2.1")
    {
        return desk.answer(QUrlQuery(query), QHostAddress(QString::fromLatin1(peer)));
    }
    LoginDesk::Answer login(const QString& name, const QString& password, const QString& key, int port = 9595,
                            const char* peer = "192.0.2.1")
    {
        return ask("app=kv_&ver=115&function=8&uid=" + name + "&pw=" + Sent(password, kPassword)
                       + "&key=" + Sent(key, kPresence) + "&port=" + QString::number(port),
                   peer);
    }

    testing_support::TempFolder folder;
    UserStore users;
    ServiceKeys keys = *ServiceKeys::read(ServiceKeyFile(), nullptr);
    qint64 now = 1'000'000;
    LoginDesk desk{users, keys, kPeriod, [this] { return now; }};
};

TEST_F(Desk, LoginAnswersTheKeyAlertsAndLogsOut)
{
    const auto a = login("alice", "s3cret", "12345678");
    EXPECT_EQ(Read(a.title, kAnswer), "12345678");
    EXPECT_TRUE(a.title.contains(u'+'));
    EXPECT_EQ(a.outcome, "signed in");
    EXPECT_TRUE(desk.isSignedIn("alice"));

    for (const auto& [name, password] : {std::pair{"alice", "S3cret"}, std::pair{"carol", "s3cret"},
                                         std::pair{"bob", "s3cret"}, std::pair{"alice", ""}}) {
        SCOPED_TRACE(name);
        const auto refused = login(name, password, "87654321");
        EXPECT_EQ(refused.title, "denied");
        EXPECT_NE(Read(refused.title, kAnswer), "87654321");
    }
    EXPECT_FALSE(desk.isSignedIn("bob"));

    // an alert needs the session's own user; a logout with someone else's key leaves the session
    EXPECT_EQ(ask("function=13&uid=alice&key=" + Sent("12345678", kPresence)).title, "ok");
    EXPECT_EQ(ask("function=13&uid=bob&key=" + Sent("12345678", kPresence)).title, "denied");
    EXPECT_EQ(ask("function=0&uid=alice&key=" + Sent("00000000", kLogout)).title, "bye");
    EXPECT_TRUE(desk.isSignedIn("alice"));
    const auto bye = ask("function=0&uid=alice&key=" + Sent("12345678", kLogout));
    EXPECT_EQ(std::pair(bye.title, bye.outcome), std::pair(QString("bye"), QString("signed out")));
    EXPECT_FALSE(desk.isSignedIn("alice"));
}

TEST_F(Desk, PasswordGuessingFromOneAddressIsSlowedDown)
{
    for (int i = 0; i < LoginDesk::kMaxFailures; ++i)
        ASSERT_EQ(login("alice", "guess" + QString::number(i), "12345678", 9595, "198.51.100.66").outcome,
                  "wrong name or password");
    // even the right password is refused from there for a while; other addresses are not
    EXPECT_EQ(login("alice", "s3cret", "12345678", 9595, "198.51.100.66").title, "denied");
    EXPECT_EQ(Read(login("alice", "s3cret", "12345678", 9595, "192.0.2.1").title, kAnswer), "12345678");
    now += LoginDesk::kFailureWindow + 1;
    EXPECT_EQ(Read(login("alice", "s3cret", "12345678", 9595, "198.51.100.66").title, kAnswer), "12345678");
}

TEST_F(Desk, SessionEndsAfterThreePeriodsWithoutPresence)
{
    login("alice", "s3cret", "12345678");
    for (int i = 0; i < 3; ++i) {
        now += 3 * kPeriod * 1000; // just in time each round
        ASSERT_EQ(ask("function=2&uid=alice&key=" + Sent("654321", kPresence)).title, "654321");
    }
    now += 3 * kPeriod * 1000 + 1;
    EXPECT_EQ(ask("function=2&uid=alice&key=" + Sent("654321", kPresence)).title, "offline");
    EXPECT_FALSE(desk.isSignedIn("alice"));
}

TEST_F(Desk, LookupTellsWhereASignedInUserTakesCalls)
{
    login("alice", "s3cret", "11112222", 9595, "192.0.2.1");
    const QString aliceKey = Sent("11112222", kPresence);
    EXPECT_EQ(ask("function=10&uid=alice&key=" + aliceKey + "&TargetUser=bob").title, "offline");

    login("bob", "b0b-pw", "33334444", 9601, "::ffff:198.51.100.7");
    const auto a = ask("function=10&uid=alice&key=" + aliceKey + "&TargetUser=bob");
    const QStringList fields = a.title.split(u',');
    ASSERT_EQ(fields.size(), 3) << qPrintable(a.title);
    EXPECT_EQ(fields.at(0), "198.51.100.7");
    EXPECT_EQ(fields.at(1), "9601");
    EXPECT_EQ(Read(fields.at(2), kLookup), "33334444");

    // bob's presence from a new address and port moves him
    ask("function=2&uid=bob&key=" + Sent("999999", kPresence) + "&port=9700", "203.0.113.9");
    EXPECT_TRUE(ask("function=10&uid=alice&key=" + aliceKey + "&TargetUser=bob").title.startsWith("203.0.113.9,9700,"));

    // only a signed-in caller with its own key may look anyone up
    EXPECT_EQ(ask("function=10&uid=alice&key=" + Sent("99990000", kPresence) + "&TargetUser=bob").title, "denied");
    EXPECT_EQ(ask("function=10&uid=carol&key=" + aliceKey + "&TargetUser=bob").title, "denied");
}

TEST_F(Desk, GarbageGetsAHarmlessAnswer)
{
    login("alice", "s3cret", "12345678");
    const QString huge(5000, u'9');
    const char* garbage[] = {
        "",
        "function=8",
        "function=x&uid=alice&key=1",
        "function=99&uid=alice&key=1",
        "function=8&uid=alice&key=99999999999-1&pw=-",
        "function=8&uid=alice&key=abc&pw=abc",
        "function=2&uid=alice&key=%00%01",
        "function=10&uid=alice&key=1-2-3&TargetUser=",
        "function=8&uid=a%26b&key=1&pw=1",
        "function=2147483648&uid=alice&key=1",
        "=&&=&function=&uid=",
    };
    for (const char* q : garbage) {
        SCOPED_TRACE(q);
        const auto a = ask(QString::fromLatin1(q));
        EXPECT_FALSE(a.title.contains(u',')) << qPrintable(a.title);
        EXPECT_NE(Read(a.title, kAnswer), "12345678");
    }
    EXPECT_EQ(ask("function=8&uid=alice&pw=" + huge + "&key=" + huge).title, "unknown request");
    EXPECT_TRUE(desk.isSignedIn("alice"));
}

} // namespace
