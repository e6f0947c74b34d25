// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "protocols/CertificateTrust.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>

class QSslSocket;
class QTcpSocket;
class QTimer;

// Sends one plain-text mail per connection over a socket and a timer its owner lends it.
// Connect returns at once; the outcome arrives as ServerClose.
class cSmtp : public QObject
{
    Q_OBJECT
public:
    // ServerClose codes.
    enum CloseCode : int16_t {
        Delivered = 0, // 221 after the message was accepted
        TimedOut = 1, // 30 ticks without progress
        NetworkError = 2, // the socket reported an error
        NotDelivered = 3, // 221, or the server closed, before the message was accepted
        ServerClosed = 4, // the server closed after accepting the message
    };
    static constexpr int kTimeoutTicks = 30;
    // No reply may take longer than this many times the idle limit, however it trickles in.
    static constexpr int kReplyTickFactor = 4;
    // A reply line is at most 512 bytes; a longer one is not from an SMTP server.
    static constexpr int kReplyLineCap = 4096;

    explicit cSmtp(QObject* parent = nullptr);
    ~cSmtp() override;

    void setWsock(QTcpSocket* socket);
    void setWtimeout(QTimer* timer);

    QString Server; // host name, also the EHLO / HELO argument
    QString SendTo;
    QString MailFrom;
    QString MessageSubject;
    QString MessageText;
    int32_t SMTPPort = 25;
    int16_t TempFileNumber = 0;
    // A reply names the mail it answers (that mail's Message-ID, References and In-Reply-To),
    // and an automatic one says so.
    QString RepliedMessageID;
    QString RepliedReferences;
    QString RepliedInReplyTo;
    bool AutoReplied = false;
    // TLS needs a lent QSslSocket. With a user name the server must offer AUTH PLAIN or LOGIN.
    MailSecurity Security = MailSecurity::None;
    QString UserName; // empty: no login
    QString Password;
    void TrustedFingerprint(const QString& fingerprint) { trust_.setTrusted(fingerprint); }

    QString status() const { return status_; }
    // Why the last session did not deliver, in words; empty when it did.
    QString ErrorText() const { return errorText_; }
    // The fingerprint of a certificate refused in the last session; empty when none was.
    QString RefusedFingerprint() const { return trust_.refusal().isEmpty() ? QString() : trust_.fingerprint(); }

    void Connect(int16_t attach, const QString& path);
    void StopTimeout();
    // Writes the file, uuencoded, to the temporary file in the program folder.
    void EncodeNow(const QString& path);

signals:
    void ServerClose(int16_t code);
    void ServerConnect();
    void SendComplete();
    void Sending();

private:
    // Where the dialogue stands: the command whose reply is awaited.
    enum Step {
        Idle, // before Connect
        Connecting, // waiting for the greeting
        EhloSent,
        HeloSent, // the server did not know EHLO
        StartTlsSent,
        Handshaking, // STARTTLS accepted, TLS coming up
        AuthPlainSent,
        AuthLoginSent, // waiting for the user name prompt
        AuthUserSent, // waiting for the password prompt
        AuthPassSent,
        MailFromSent,
        RcptToSent,
        DataSent, // waiting for 354
        TextSent, // waiting for the server to accept the message
        QuitSent,
        Closed, // ServerClose raised
    };

    void onDataArrival();
    void onReply(const QByteArray& line);
    void onHello(const QList<QByteArray>& lines);
    void onEncrypted();
    void onSslErrors(const QList<QSslError>& errors);
    void sendEhlo();
    void sendMailFrom();
    void refuse(CloseCode code, const QString& why);
    QSslSocket* sslSocket() const;
    QString peer() const;
    void onTick();
    void onSocketError(QAbstractSocket::SocketError error);
    void onServerClosed();
    void onBytesWritten();
    void send(Step next, const QByteArray& line);
    void finish(CloseCode code);
    QByteArray messageData(); // header and text, every line ending in CR LF
    QString tempFilePath() const;
    void startTimeout();
    void closeSocket();
    bool holdsSocket() const;
    bool holdsTimer() const;
    bool inSession() const { return step_ != Idle && step_ != Closed; }

    QString status_;
    QPointer<QTcpSocket> socket_;
    QPointer<QTimer> timer_;
    Step step_ = Idle;
    bool sent_ = false; // the server accepted the message text
    int16_t attach_ = 0;
    QString attachPath_;
    int ticks_ = 0;
    int replyTicks_ = 0; // ticks since the last command was sent
    bool closing_ = false; // our own close is under way, not the server's
    QByteArray buffer_; // reply bytes up to the next CR LF
    QList<QByteArray> replyLines_; // the lines of a multi-line reply so far
    QString errorText_;
    CertificateTrust trust_;
};
