// SPDX-License-Identifier: GPL-3.0-or-later
// The mail engine over TLS with a login, against Dovecot and the SMTP sink.
#include "MailFixture.h"
#include "RealPeers.h"
#include "TestCertificates.h"

#include <QSslConfiguration>

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

TEST_F(MailSecurity_, EveryProtectionSignsInListsDeletesSpamAndReplies)
{
    const struct
    {
        const char* what;
        MailSecurity pop;
        quint16 popPort;
        MailSecurity smtp;
        quint16 smtpPort;
    } rows[] = {
        {"STLS, STARTTLS", MailSecurity::StartTls, peers.pop3Port(), MailSecurity::StartTls, peers.smtpStartTlsPort()},
        {"TLS, TLS", MailSecurity::Tls, peers.pop3TlsPort(), MailSecurity::Tls, peers.smtpTlsPort()},
        {"STLS, TLS", MailSecurity::StartTls, peers.pop3Port(), MailSecurity::Tls, peers.smtpTlsPort()},
        {"TLS, STARTTLS", MailSecurity::Tls, peers.pop3TlsPort(), MailSecurity::StartTls, peers.smtpStartTlsPort()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        peers.clear("alice");
        peers.clearSent();
        account(row.popPort);
        engine.ServerSecurity = row.pop;
        host.port = row.smtpPort;
        host.security = row.smtp;
        host.user = "alice";
        host.password = RealPeers::password;
        checkNewMail();
        EXPECT_EQ(engine.LastFailure(), "");
        EXPECT_EQ(column(1).join(" / ").toStdString(), "Photos from the trip");
        EXPECT_EQ(peers.mailboxFiles("alice").size(), 1); // the spam is gone
        const auto sent = peers.sentMessages();
        ASSERT_EQ(sent.size(), 1);
        EXPECT_TRUE(sent[0].tls);
        EXPECT_EQ(sent[0].login, "alice");
        EXPECT_EQ(sent[0].rcptTos, QStringList{"carol@example.org"});
    }
}

TEST_F(MailSecurity_, FailuresSayWhyAndSendNothingInPlainText)
{
    account(peers.pop3TlsPort());
    engine.ServerSecurity = MailSecurity::Tls;
    host.user = "alice";

    // A wrong SMTP password: the listing goes on, the reply is not sent, the log says why.
    host.port = peers.smtpStartTlsPort();
    host.security = MailSecurity::StartTls;
    host.password = "wrong";
    checkNewMail();
    EXPECT_EQ(engine.LastFailure(), "");
    EXPECT_TRUE(peers.sentMessages().isEmpty());
    EXPECT_TRUE(debug.filter("refused the login (535").size() == 1) << debug.join('\n').toStdString();

    // STARTTLS asked of a server that offers none: not a word after EHLO, so no login either.
    peers.clear("alice");
    host.port = peers.smtpPort();
    host.password = RealPeers::password;
    debug.clear();
    checkNewMail();
    EXPECT_TRUE(peers.sentMessages().isEmpty());
    EXPECT_EQ(debug.filter("offers no STARTTLS; nothing was sent in plain text").size(), 1);

    // TLS asked of the plain POP3 port: the handshake fails and the check says so.
    account(peers.pop3Port());
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    EXPECT_TRUE(engine.LastFailure().startsWith("TLS with 127.0.0.1:")) << engine.LastFailure().toStdString();
}

TEST_F(MailSecurity_, AnUnknownCertificateIsRefusedUntilTrustedByFingerprint)
{
    const QSslConfiguration withTestCa = QSslConfiguration::defaultConfiguration();
    QSslConfiguration systemOnly = withTestCa;
    systemOnly.setCaCertificates(QSslConfiguration::systemCaCertificates());
    QSslConfiguration::setDefaultConfiguration(systemOnly);

    account(peers.pop3TlsPort());
    engine.ServerSecurity = MailSecurity::Tls;
    peers.fill("alice", {"06-alternative.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    const QString print = CertificateTrust::Fingerprint(TestCertificates::instance().good().certificate);
    EXPECT_TRUE(engine.LastFailure().contains("its issuer is unknown")) << engine.LastFailure().toStdString();
    EXPECT_TRUE(engine.LastFailure().contains(print));
    EXPECT_EQ(engine.LastRefusedCertificate().server, "127.0.0.1:" + QString::number(peers.pop3TlsPort()));
    EXPECT_EQ(engine.LastRefusedCertificate().fingerprint, print);
    EXPECT_EQ(list.rowCount(), 0);

    host.trusted.insert(engine.LastRefusedCertificate().server, print);
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    EXPECT_EQ(engine.LastFailure(), "");
    EXPECT_EQ(engine.LastRefusedCertificate().fingerprint, "");
    EXPECT_EQ(list.rowCount(), 1);
    QSslConfiguration::setDefaultConfiguration(withTestCa);
}
