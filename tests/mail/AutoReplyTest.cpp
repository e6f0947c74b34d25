// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailFixture.h"
#include "RealPeers.h"

#include <QRegularExpression>

namespace {

constexpr qint64 kDay = 24LL * 60 * 60 * 1000;

class AutoReply : public MailTest
{
protected:
    AutoReply()
    {
        peers.clear("alice");
        peers.clearSent();
        account(peers.pop3Port());
        host.port = peers.smtpPort();
        engine.AutoReplyOn = true;
        EXPECT_TRUE(check(checkmailClass::FirstCheck)); // mail already there is never answered
    }

    // New mail arrives and a timed check answers it.
    void arrive(const QList<QByteArray>& messages)
    {
        peers.fillMessages("alice", messages);
        ASSERT_TRUE(check(checkmailClass::TimedCheck));
        ASSERT_EQ(engine.LastFailure(), "");
    }

    QStringList answered() const
    {
        QStringList to;
        for (const auto& m : peers.sentMessages())
            to += m.rcptTos;
        return to;
    }

    RealPeers& peers = RealPeers::instance();
};

QByteArray mailFrom(const QByteArray& from, const QByteArray& more = {}, const QByteArray& subject = "Hello")
{
    return "From: " + from + "\r\nTo: Alice <alice@example.com>\r\nSubject: " + subject + "\r\n" + more
           + "Message-ID: <" + QByteArray::number(qHash(from + more + subject)) + "@example.org>\r\n\r\nHi\r\n";
}

} // namespace

// A Chinese subject in GB2312 on an English system, a thread of three, a reply text in two
// scripts: what reaches the server, byte for byte.
TEST_F(AutoReply, RepliesFollowTheMailStandards)
{
    host.reply = QString::fromUtf8("我下週回來。\nBack next week.");
    const QByteArray gb2312Subject = "=?gb2312?B?1ty74bjExto=?=";
    arrive({"Return-Path: <lihua@example.cn>\r\nFrom: =?gb2312?B?wO67qg==?= <lihua@example.cn>\r\n"
            "To: Alice <alice@example.com>\r\nSubject: "
            + gb2312Subject
            + "\r\nMessage-ID: <orig-1@example.cn>\r\nReferences: <r0@example.cn>\r\n <r1@example.cn>\r\n"
              "Content-Type: text/plain; charset=gb2312\r\n\r\nbody\r\n"});

    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].mailFrom, "alice@example.com");
    EXPECT_EQ(sent[0].rcptTos, QStringList({"lihua@example.cn"}));
    QString data = QString::fromLatin1(sent[0].data);
    const QRegularExpression date(QStringLiteral(
        "^Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4}\r\n"));
    const QRegularExpression id(QStringLiteral("\r\nMessage-ID: <[0-9a-z]+\\.[0-9a-z]+@example\\.com>\r\n"));
    ASSERT_TRUE(date.match(data).hasMatch()) << data.toStdString();
    ASSERT_TRUE(id.match(data).hasMatch()) << data.toStdString();
    data.replace(date, QString()).replace(id, QStringLiteral("\r\n"));
    EXPECT_EQ(data.toLatin1(), "From: alice@example.com\r\n"
                               "To: lihua@example.cn\r\n"
                               "Subject: =?UTF-8?B?"
                                   + QString::fromUtf8("Re:周会改期").toUtf8().toBase64()
                                   + "?=\r\n"
                                     "In-Reply-To: <orig-1@example.cn>\r\n"
                                     "References: <r0@example.cn> <r1@example.cn> <orig-1@example.cn>\r\n"
                                     "Auto-Submitted: auto-replied\r\n"
                                     "MIME-Version: 1.0\r\n"
                                     "Content-Type: text/plain; charset=UTF-8\r\n"
                                     "Content-Transfer-Encoding: base64\r\n"
                                     "\r\n"
                                   + QString::fromUtf8("我下週回來。\r\nBack next week.\r\n").toUtf8().toBase64()
                                   + "\r\n");
}

// Mail from machines, lists and bounces gets no automatic reply, and the log says why.
TEST_F(AutoReply, MailThatMustNotBeAnsweredIsSkippedAndLogged)
{
    const struct
    {
        QByteArray from;
        QByteArray more; // header lines
        const char* why; // in the log line; nullptr: answered
        QByteArray subject = "Hello";
    } rows[] = {
        {"a1@example.org", "Auto-Submitted: auto-generated\r\n", "Auto-Submitted: auto-generated"},
        {"a3@example.org", "Auto-Submitted: No\r\n", nullptr},
        {"p1@example.org", "Precedence: bulk\r\n", "Precedence: bulk"},
        {"l1@example.org", "List-Id: Team <team.example.org>\r\n", "mailing list (List-Id)"},
        {"l2@example.org", "List-Unsubscribe:\r\n <mailto:leave@example.org>\r\n", "mailing list (List-Unsubscribe)"},
        {"r1@example.org", "Return-Path: <>\r\n", "empty return path"},
        {"r2@example.org", "Return-Path: <MAILER-DAEMON@example.org>\r\n", "system address (MAILER-DAEMON"},
        {"Postmaster <postmaster@example.org>", "", "system address"},
        {"team-request@example.org", "", "system address"},
        {"undisclosed sender", "", "no address"},
        {"Ann <ann@example.org>", "X-Mailer: a list of things\r\n", nullptr},
        {"Ben <ben@example.org>", "", nullptr, "Re: Lunch"}, // a reply: no reply and nothing to log
    };
    QList<QByteArray> mail;
    for (const auto& row : rows)
        mail += mailFrom(row.from, row.more, row.subject);
    arrive(mail);

    EXPECT_EQ(answered(), QStringList({"a3@example.org", "ann@example.org"}));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.from.toStdString());
        const QString address = QString::fromLatin1(row.from).section('<', -1).section('>', 0, 0);
        const QStringList logged = debug.filter(QStringLiteral("No Auto Reply to ") + address + ": ");
        if (row.why) {
            ASSERT_EQ(logged.size(), 1) << debug.join('\n').toStdString();
            EXPECT_TRUE(logged[0].contains(QLatin1String(row.why))) << logged[0].toStdString();
        } else {
            EXPECT_TRUE(logged.isEmpty());
        }
    }
}

// One automatic reply per sender in seven days, however the address is written and across a
// restart of the program; the clock is the test's own.
TEST_F(AutoReply, ASenderGetsOneReplyInSevenDaysAcrossRestarts)
{
    const qint64 start = QDateTime(QDate(2026, 3, 2), QTime(8, 0)).toMSecsSinceEpoch();
    clock.set(start);
    arrive({mailFrom("Bob <bob@example.org>", {}, "One")});
    EXPECT_EQ(answered(), QStringList({"bob@example.org"}));

    clock.set(start + kDay);
    arrive({mailFrom("Bob <BOB@Example.org>", {}, "Two"), mailFrom("Cy <cy@example.org>", {}, "Three")});
    EXPECT_EQ(answered(), QStringList({"bob@example.org", "cy@example.org"}));
    EXPECT_EQ(
        debug.filter("No Auto Reply to BOB@Example.org: the sender had an automatic reply in the last 7 days").size(),
        1);

    // The program starts again six days later: Bob is still remembered; a day later he is not.
    const struct
    {
        qint64 at;
        int days;
        bool answered;
    } rows[] = {
        {start + 6 * kDay + kDay / 2, 7, false},
        {start + 7 * kDay + 60000, 7, true},
        {start + 7 * kDay + 120000, 0, true}, // 0: every new mail is answered
    };
    int expected = 2;
    for (const auto& row : rows) {
        clock.set(row.at);
        peers.fillMessages("alice", {mailFrom("bob@example.org", {}, QByteArray::number(row.at))});
        ASSERT_EQ(checkAfterRestart([&](checkmailClass& again) { again.AutoReplyDays = row.days; }), 1) << row.at;
        expected += row.answered ? 1 : 0;
        EXPECT_EQ(answered().size(), expected) << row.at;
    }
}
