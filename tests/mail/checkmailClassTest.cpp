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

// Listing, counting new mail and the Big5 subject against Dovecot are MailCheck's (the tool runs
// this engine); the window's checks are EverydayTest's.
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
