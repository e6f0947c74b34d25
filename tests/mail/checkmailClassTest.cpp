// SPDX-License-Identifier: GPL-3.0-or-later
#include "MailFixture.h"
#include "RealPeers.h"
#include "TestSupport.h"

using testing_support::waitUntil;

namespace {

class MailboxCheck : public MailTest
{
protected:
    MailboxCheck()
    {
        peers.clear("alice");
        peers.clearSent();
        account(peers.pop3Port());
        host.port = peers.smtpPort();
    }
    RealPeers& peers = RealPeers::instance();
};

} // namespace

TEST_F(MailboxCheck, FirstCheckListsWhatIsThereAndLaterChecksCountNewMail)
{
    peers.fill("alice", {"01-plain.eml", "03-big5.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    EXPECT_EQ(column(1), QStringList({"Meeting moved to Thursday", QString::fromUtf8("下週三會議通知")}));
    EXPECT_EQ(column(0).value(0), "Tom Baker ");
    EXPECT_EQ(column(3), QStringList({"InServer", "InServer"}));
    EXPECT_EQ(engine.NewMailCount, 0);
    EXPECT_EQ(engine.KnownCount(), 2);

    peers.fill("alice", {"04-gb2312.eml", "05-utf8.eml"});
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(engine.NewMailCount, 2);
    EXPECT_TRUE(column(1).value(3).startsWith(QString::fromUtf8("Grüße aus Köln")));
    EXPECT_TRUE(debug.contains(" You have 4 Messages in mailbox"));
}

TEST_F(MailboxCheck, SpamIsDeletedOnTheServerAndNothingElse)
{
    host.subjects = {"WIN A PRIZE"};
    host.senders = {"offers@spam.example"};
    peers.fill("alice", {"01-plain.eml", "07-spam-subject.eml", "02-html.eml", "08-spam-sender.eml"});
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_EQ(column(1), QStringList({"Meeting moved to Thursday", "Spring newsletter"}));
    EXPECT_EQ(engine.NewMailCount, 2);
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 2);
}

// Failed checks, each with its reason, are in ServerFaultsTest and EverydayTest; fetching and
// deleting one message against Dovecot is in MailCheckTest. Without a signed-in user nothing starts.
TEST_F(MailboxCheck, NothingStartsForAUserWhoIsNotSignedIn)
{
    host.isSignedIn = false;
    const qsizetype before = finished->size();
    engine.CheckMail(checkmailClass::TimedCheck);
    EXPECT_EQ(finished->size(), before); // nothing at all happens
}

// Dovecot announces PIPELINING: a big mailbox is listed ahead, spam between and at the end is
// deleted, and the new mail is answered in order, each once.
TEST_F(MailboxCheck, ABigMailboxIsListedAheadWithSpamAndRepliesInOrder)
{
    const QList<int> spam = {4, 66, 129, 130, 141};
    const QList<int> greeted = {8, 67, 140}; // the rest are replies themselves: no answer
    peers.fill("alice", {"01-plain.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    QList<QByteArray> mail;
    QStringList kept = {"Meeting moved to Thursday"};
    for (int n = 2; n <= 141; ++n) {
        const QByteArray subject = spam.contains(n)      ? QByteArray("WIN A PRIZE")
                                   : greeted.contains(n) ? "Hello " + QByteArray::number(n)
                                                         : "Re: note " + QByteArray::number(n);
        mail << "From: S" + QByteArray::number(n) + " <s" + QByteArray::number(n)
                    + "@example.org>\r\nTo: alice@example.com\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
        if (!spam.contains(n))
            kept << QString::fromLatin1(subject);
    }
    peers.fillMessages("alice", mail);
    host.subjects = {"WIN A PRIZE"};
    engine.AutoReplyOn = true;
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    ASSERT_TRUE(waitUntil([&] { return !engine.Sending(); }));
    EXPECT_EQ(engine.LastFailure(), "");
    EXPECT_EQ(column(1), kept);
    EXPECT_EQ(engine.NewMailCount, 135);
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 136);
    QStringList answered;
    for (const auto& m : peers.sentMessages())
        answered += m.rcptTos;
    EXPECT_EQ(answered, QStringList({"s8@example.org", "s67@example.org", "s140@example.org"}));
}
