// SPDX-License-Identifier: GPL-3.0-or-later
// TLS and login in the POP3 and SMTP dialogues, against in-process servers with certificates
// made for the test.
#include "ScriptedServer.h"
#include "TestCertificates.h"
#include "protocols/CPostOffice.h"
#include "protocols/CertificateTrust.h"
#include "protocols/cSmtp.h"

#include <QSslSocket>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Steps = QList<QByteArray>;

struct Outcome
{
    int errNum = 0; // POP3 ErrNum, or the SMTP close code
    QString why; // ErrDesc or ErrorText
    QString refused; // fingerprint of a refused certificate
    bool listed = false; // POP3: STAT was answered
};

// One POP3 session up to STAT and QUIT over a lent socket and a fast timer.
Outcome pop3(QTcpSocket& socket, quint16 port, MailSecurity security, const QString& trusted = {})
{
    CPostOffice pop;
    QTimer timer;
    timer.setInterval(10);
    pop.setTimerControl(&timer);
    pop.Winsock(&socket);
    pop.POPHostname("127.0.0.1");
    pop.POPUserName = "ann";
    pop.POPPassword = "pw";
    pop.POPPort(port);
    pop.TimeoutCount = 500;
    pop.Security(security);
    pop.TrustedFingerprint(trusted);
    Outcome out;
    QObject::connect(&pop, &CPostOffice::POPStatus, [&] {
        if (pop.status() == CPostOffice::StatSent && !out.listed) {
            out.listed = true;
            pop.QuitServer();
        }
    });
    pop.Connect();
    EXPECT_TRUE(waitUntil([&] { return pop.status() == CPostOffice::Closed; }, 20000));
    out.errNum = pop.ErrNum();
    out.why = pop.ErrDesc();
    out.refused = pop.RefusedFingerprint();
    return out;
}

// One SMTP send; the scenarios end before DATA, so only the dialogue is checked.
Outcome smtp(QTcpSocket& socket, quint16 port, MailSecurity security, const QString& user)
{
    cSmtp client;
    QTimer timer;
    timer.setInterval(20);
    client.setWsock(&socket);
    client.setWtimeout(&timer);
    client.Server = "127.0.0.1";
    client.SMTPPort = port;
    client.MailFrom = "Ann <ann@x.org>";
    client.SendTo = "bob@y.org";
    client.Security = security;
    client.UserName = user;
    client.Password = "pw";
    Outcome out{-1, {}, {}, false};
    QObject::connect(&client, &cSmtp::ServerClose, [&](int16_t code) { out.errNum = code; });
    client.Connect(0, QString());
    EXPECT_TRUE(waitUntil([&] { return out.errNum >= 0; }, 20000));
    out.why = client.ErrorText();
    out.refused = client.RefusedFingerprint();
    return out;
}

const TestCertificates& certificates()
{
    static const bool trusted = (TestCertificates::trustTestCa(), true); // the test CA stands for the system's
    (void)trusted;
    return TestCertificates::instance();
}

const Steps kRejectedEnvelope = {"C: MAIL FROM:<ann@x.org>", "S: 250 ok", "C: RCPT TO:<bob@y.org>",
                                 "S: 550 no such user",      "C: QUIT",   "S: 221 bye"};

} // namespace

// TLS that succeeds is signed in against Dovecot and the sink (mail tests); here every refusal
// ends the session before a user name or password is sent.
TEST(MailTls, Pop3SignsInOnlyOverTrustedTls)
{
    const auto& certs = certificates();
    const struct
    {
        const char* what;
        Steps script;
        const TestCertificates::Identity* identity; // null: a plain server
        QString trusted;
        const char* why;
    } rows[] = {
        {"STLS refused", {"S: +OK hi", "C: STLS", "S: -ERR not here"}, nullptr, {}, "refused STLS (-ERR not here)"},
        {"another host's certificate", Steps(), &certs.otherHost(),
         CertificateTrust::Fingerprint(certs.selfSigned().certificate),
         "it is for another host (mail.other.example), not 127.0.0.1"},
        {"a plain server on the TLS port", {"S: +OK hi"}, nullptr, {}, "TLS with 127.0.0.1:"},
    };
    QSslSocket socket; // one socket lent for every session, as the window does
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedServer server(row.script);
        if (row.identity)
            server.useTls(row.identity->certificate, row.identity->key, true);
        const MailSecurity security = row.script.contains("C: STLS") ? MailSecurity::StartTls : MailSecurity::Tls;
        const Outcome out = pop3(socket, server.port(), security, row.trusted);
        EXPECT_EQ(out.errNum, CPostOffice::kSecurityError) << out.why.toStdString();
        EXPECT_TRUE(out.why.contains(row.why)) << out.why.toStdString();
        EXPECT_FALSE(out.listed);
        // Every line the client sent was in the script: after a refusal, not one more.
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
        const QString refused = row.identity ? CertificateTrust::Fingerprint(row.identity->certificate) : "";
        EXPECT_EQ(out.refused.toStdString(), refused.toStdString());
    }
}

// STARTTLS with a login, and a refused login, are the mail tests' against the sink.
TEST(MailTls, SmtpSpeaksEhloTlsAndLogin)
{
    const auto& certs = certificates();
    const Steps ehlo = {"S: 220 hi", "C: EHLO 127.0.0.1"};
    const struct
    {
        const char* what;
        Steps script;
        MailSecurity security = MailSecurity::None;
        const char* user = "";
        const char* why = "550 no such user";
        const TestCertificates::Identity* identity = nullptr;
    } rows[] = {
        {"HELO when EHLO is unknown",
         ehlo + Steps{"S: 500 what?", "C: HELO 127.0.0.1", "S: 250 hi"} + kRejectedEnvelope},
        {"AUTH LOGIN",
         ehlo
             + Steps{"S: 250-hi", "S: 250 AUTH LOGIN", "C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6", "C: YW5u",
                     "S: 334 UGFzc3dvcmQ6", "C: cHc=", "S: 235 ok"}
             + kRejectedEnvelope,
         MailSecurity::None, "ann"},
        {"login wanted, none offered", ehlo + Steps{"S: 250-hi", "S: 250 SIZE"}, MailSecurity::None, "ann",
         "offers no login"},
        {"STARTTLS wanted, none offered", ehlo + Steps{"S: 250-hi", "S: 250 AUTH PLAIN"}, MailSecurity::StartTls, "ann",
         "offers no STARTTLS; nothing was sent in plain text"},
        {"self-signed after STARTTLS", ehlo + Steps{"S: 250-hi", "S: 250 STARTTLS", "C: STARTTLS", "S: 220 go", "TLS"},
         MailSecurity::StartTls, "ann", "it is self-signed", &certs.selfSigned()},
    };
    QSslSocket socket;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedServer server(row.script);
        if (row.identity)
            server.useTls(row.identity->certificate, row.identity->key, false);
        const Outcome out = smtp(socket, server.port(), row.security, row.user);
        EXPECT_EQ(out.errNum, cSmtp::NotDelivered);
        EXPECT_TRUE(out.why.contains(row.why)) << out.why.toStdString();
        // Every line the client sent was in the script: after a refusal, not one more.
        EXPECT_TRUE(server.scenarioDone()) << server.report().toStdString();
        const QString refused = row.identity ? CertificateTrust::Fingerprint(row.identity->certificate) : "";
        EXPECT_EQ(out.refused.toStdString(), refused.toStdString());
    }
}
