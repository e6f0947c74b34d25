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
