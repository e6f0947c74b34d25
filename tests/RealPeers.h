// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QProcess;
class QTemporaryDir;

// A real POP3 server (Dovecot) and an SMTP sink on 127.0.0.1, started once per test program
// on the first call to instance() and stopped when the tests end. Users "alice" and "bob",
// password "secret". A server that cannot start throws std::runtime_error, failing the test.
// Both also speak TLS with the test certificate for 127.0.0.1 (TestCertificates): Dovecot STLS
// on its port and TLS on another; the sink STARTTLS and TLS on two more ports, where it
// requires a login as alice.
class RealPeers
{
public:
    struct SentMessage
    {
        QString helo;
        QString mailFrom;
        QStringList rcptTos;
        QByteArray data; // as received after DATA, CRLF line ends, dot-unstuffed
        bool tls = false;
        QString login; // the SMTP user signed in, if any
    };

    static RealPeers& instance();
    static constexpr const char* password = "secret";
    // The sink answers 550 to RCPT TO this address.
    static constexpr const char* rejectedRecipient = "rejected@example.net";

    // A file of tests/fixtures/mailbox.
    static QString fixture(const QString& name);

    quint16 pop3Port() const { return pop3Port_; }
    quint16 smtpPort() const { return smtpPort_; }
    quint16 pop3TlsPort() const { return pop3TlsPort_; }
    quint16 smtpStartTlsPort() const { return smtpStartTlsPort_; }
    quint16 smtpTlsPort() const { return smtpTlsPort_; }

    // Appends messages to a mailbox; POP3 numbers them in the order given. Relative paths
    // are taken from tests/fixtures/mailbox.
    void fill(const QString& user, const QStringList& files);
    void fillMessages(const QString& user, const QList<QByteArray>& messages);
    void clear(const QString& user);
    // The message files still on the server, in message order.
    QStringList mailboxFiles(const QString& user) const;

    QList<SentMessage> sentMessages() const;
    void clearSent();

    ~RealPeers();

private:
    RealPeers();
    void start();
    void stop();
    QString maildir(const QString& user) const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> sink_;
    quint16 pop3Port_ = 0;
    quint16 smtpPort_ = 0;
    quint16 pop3TlsPort_ = 0;
    quint16 smtpStartTlsPort_ = 0;
    quint16 smtpTlsPort_ = 0;
};
