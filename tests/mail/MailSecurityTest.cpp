// SPDX-License-Identifier: GPL-3.0-or-later
// The mail engine over TLS with a login, against Dovecot and the SMTP sink.
#include "MailFixture.h"
#include "RealPeers.h"
#include "TestCertificates.h"

namespace {

class MailSecurity_ : public MailTest
{
protected:
    MailSecurity_()
    {
        TestCertificates::trustTestCa(); // the test CA stands for the system's
        peers.clear("alice");
        peers.clearSent();
        host.subjects = {"WIN A PRIZE"};
        engine.AutoReplyOn = true;
        engine.AutoReplyDays = 0; // every run answers the same sender again
        controls.smtpTimer.setInterval(200); // a TLS handshake on a loaded machine, with room to spare
    }
    // A timed check of a mailbox holding a spam and a mail to answer.
    void checkNewMail()
    {
        peers.fill("alice", {"07-spam-subject.eml", "06-alternative.eml"});
        engine.ResetMailCount(0);
        list.removeRows(0, list.rowCount());
        ASSERT_TRUE(check(checkmailClass::TimedCheck));
    }
    RealPeers& peers = RealPeers::instance();
};

} // namespace

// The dialogues' refusals are in MailTlsTest; here a refused SMTP login leaves the check whole.
TEST_F(MailSecurity_, EveryProtectionSignsInListsDeletesSpamAndReplies)
{
    const struct
    {
        const char* what;
        MailSecurity pop;
        quint16 popPort;
        MailSecurity smtp;
        quint16 smtpPort;
        const char* smtpPassword = RealPeers::password;
    } rows[] = {
        {"STLS, STARTTLS", MailSecurity::StartTls, peers.pop3Port(), MailSecurity::StartTls, peers.smtpStartTlsPort()},
        {"TLS, TLS", MailSecurity::Tls, peers.pop3TlsPort(), MailSecurity::Tls, peers.smtpTlsPort()},
        {"a wrong SMTP password", MailSecurity::Tls, peers.pop3TlsPort(), MailSecurity::StartTls,
         peers.smtpStartTlsPort(), "wrong"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        peers.clear("alice");
        peers.clearSent();
        debug.clear();
        account(row.popPort);
        engine.ServerSecurity = row.pop;
        host.port = row.smtpPort;
        host.security = row.smtp;
        host.user = "alice";
        host.password = row.smtpPassword;
        checkNewMail();
        EXPECT_EQ(engine.LastFailure(), "");
        EXPECT_EQ(column(1).join(" / ").toStdString(), "Photos from the trip");
        EXPECT_EQ(peers.mailboxFiles("alice").size(), 1); // the spam is gone
        const auto sent = peers.sentMessages();
        if (QByteArray(row.smtpPassword) != RealPeers::password) {
            EXPECT_TRUE(sent.isEmpty());
            EXPECT_EQ(debug.filter("refused the login (535").size(), 1) << debug.join('\n').toStdString();
            continue;
        }
        ASSERT_EQ(sent.size(), 1);
        EXPECT_TRUE(sent[0].tls);
        EXPECT_EQ(sent[0].login, "alice");
        EXPECT_EQ(sent[0].rcptTos, QStringList{"carol@example.org"});
    }
}
