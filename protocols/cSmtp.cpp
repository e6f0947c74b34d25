// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/cSmtp.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "protocols/LentControls.h"
#include "protocols/MailComposer.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"
#include "platform/Utilities.h"

#include <QDateTime>
#include <QFile>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int kUuLineBytes = 45; // bytes per uuencoded line
// EHLO lists a few dozen extensions at most; more lines are not kept.
constexpr int kReplyLinesKept = 64;

QByteArray bytes(const QString& text)
{
    return platform::TextToBytes(text, platform::SystemAnsiCodePage()).bytes;
}

// A header value or command argument stays on its line: CR and LF become blanks.
QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// A line of the message that begins with "." gets a second one, so the server does not take
// it for the end of the data.
QByteArray dotStuffed(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 1);
    bool lineStart = true;
    for (char c : data) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

// Reply code: the number the first three characters make, 0 when they are not digits.
int replyCode(const QByteArray& line)
{
    int code = 0;
    for (qsizetype i = 0; i < 3 && i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        code = code * 10 + (line[i] - '0');
    return code;
}

// An envelope address in angle brackets: "Name <a@b>" and "a@b" both give "<a@b>".
QByteArray envelope(const QString& address)
{
    return '<' + bytes(oneLine(platform::ExtractAngleAddress(address)).trimmed()) + '>';
}

// The words after "AUTH" in the EHLO reply, upper case.
QList<QByteArray> authMechanisms(const QList<QByteArray>& capabilities)
{
    for (const QByteArray& c : capabilities) {
        const QList<QByteArray> words = c.toUpper().simplified().split(' ');
        if (words.value(0) == "AUTH")
            return words.mid(1);
    }
    return {};
}

bool offers(const QList<QByteArray>& capabilities, const QByteArray& keyword)
{
    for (const QByteArray& c : capabilities)
        if (c.toUpper().simplified().split(' ').value(0) == keyword)
            return true;
    return false;
}

} // namespace

cSmtp::cSmtp(QObject* parent) : QObject(parent) { }

cSmtp::~cSmtp()
{
    lent::Release(this, socket_, timer_, closing_);
}

void cSmtp::setWsock(QTcpSocket* socket)
{
    if (!lent::Take(socket_, socket, this))
        return;
    connect(socket, &QTcpSocket::readyRead, this, &cSmtp::onDataArrival);
    connect(socket, &QAbstractSocket::connected, this, [this] {
        if (holdsSocket())
            emit ServerConnect();
    });
    connect(socket, &QAbstractSocket::disconnected, this, &cSmtp::onServerClosed);
    connect(socket, &QAbstractSocket::errorOccurred, this, &cSmtp::onSocketError);
    connect(socket, &QIODevice::bytesWritten, this, &cSmtp::onBytesWritten);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, &cSmtp::onEncrypted);
        connect(ssl, &QSslSocket::sslErrors, this, &cSmtp::onSslErrors);
    }
}

QSslSocket* cSmtp::sslSocket() const
{
    return qobject_cast<QSslSocket*>(socket_.data());
}

QString cSmtp::peer() const
{
    return Server + QLatin1Char(':') + QString::number(SMTPPort);
}

void cSmtp::setWtimeout(QTimer* timer)
{
    if (!lent::Take(timer_, timer, this))
        return;
    connect(timer, &QTimer::timeout, this, &cSmtp::onTick);
}

bool cSmtp::holdsSocket() const
{
    return lent::HeldBy(socket_, this);
}
bool cSmtp::holdsTimer() const
{
    return lent::HeldBy(timer_, this);
}

void cSmtp::Connect(int16_t attach, const QString& path)
{
    if (attach != 0) {
        attach_ = attach;
        attachPath_ = path;
    }
    sent_ = false;
    lent::Hold(socket_, this);
    lent::Hold(timer_, this);
    closeSocket(); // closing is immediate: no waiting for the previous connection
    buffer_.clear();
    replyLines_.clear();
    errorText_.clear();
    replyTicks_ = 0;
    step_ = Connecting;
    status_ = QStringLiteral("Connecting to Mail server");
    startTimeout();
    if (!socket_ || SMTPPort < 1 || SMTPPort > 65535) {
        errorText_ = QStringLiteral("No socket or no valid port to reach %1.").arg(peer());
        return finish(NetworkError);
    }
    QSslSocket* ssl = sslSocket();
    if (Security != MailSecurity::None && (!ssl || !QSslSocket::supportsSsl()))
        return refuse(NotDelivered, QStringLiteral("TLS is not available here, so %1 was not contacted.").arg(peer()));
    if (ssl)
        CertificateTrust::prepare(*ssl, Server);
    // The socket picks any free local port.
    if (Security == MailSecurity::Tls)
        ssl->connectToHostEncrypted(Server, quint16(SMTPPort));
    else
        socket_->connectToHost(Server, quint16(SMTPPort));
}

// ---- the dialogue

void cSmtp::onDataArrival()
{
    if (!holdsSocket())
        return;
    ticks_ = 0;
    buffer_ += socket_->readAll();
    QPointer<cSmtp> alive(this);
    qsizetype end;
    while (alive && inSession() && (end = buffer_.indexOf("\r\n")) >= 0) {
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 2);
        if (replyLines_.size() < kReplyLinesKept)
            replyLines_.append(line);
        if (line.size() > 3 && line[3] == '-')
            continue; // a multi-line reply counts at its last line
        onReply(line);
        replyLines_.clear();
    }
    if (alive && inSession() && buffer_.size() > kReplyLineCap) {
        errorText_ = sent_ ? QString() : QStringLiteral("%1 sent a reply line too long for SMTP.").arg(peer());
        finish(sent_ ? ServerClosed : NotDelivered);
    }
}

void cSmtp::onReply(const QByteArray& line)
{
    const int code = replyCode(line);
    if (step_ == QuitSent || code == 221) // whatever the answer to QUIT, the session is over
        return finish(sent_ ? Delivered : NotDelivered);
    const bool positive = code >= 200 && code <= 299;

    switch (step_) {
    case Connecting:
        if (code == 220)
            return sendEhlo();
        break;
    case EhloSent:
        if (positive)
            return onHello(replyLines_);
        // An old server that does not know EHLO: HELO, unless TLS or a login needs the extensions.
        if (code >= 500 && code <= 504) {
            if (Security == MailSecurity::StartTls)
                return refuse(NotDelivered,
                              QStringLiteral("%1 does not know EHLO, so it cannot offer STARTTLS; nothing "
                                             "was sent in plain text.")
                                  .arg(peer()));
            if (!UserName.isEmpty())
                return refuse(NotDelivered,
                              QStringLiteral("%1 does not know EHLO, so it cannot offer a login.").arg(peer()));
            return send(HeloSent, "HELO " + bytes(oneLine(Server)));
        }
        break;
    case HeloSent:
        if (positive)
            return sendMailFrom();
        break;
    case StartTlsSent:
        if (code == 220) {
            // Whatever else came in plain text is dropped; the dialogue starts again under TLS.
            step_ = Handshaking;
            buffer_.clear();
            if (QSslSocket* ssl = sslSocket())
                return ssl->startClientEncryption();
            return refuse(NotDelivered, QStringLiteral("TLS is not available here."));
        }
        return refuse(NotDelivered, QStringLiteral("%1 refused STARTTLS (%2); nothing was sent in plain text.")
                                        .arg(peer(), QString::fromLatin1(line)));
    case AuthLoginSent:
        if (code == 334)
            return send(AuthUserSent, UserName.toUtf8().toBase64());
        break;
    case AuthUserSent:
        if (code == 334)
            return send(AuthPassSent, Password.toUtf8().toBase64());
        break;
    case AuthPlainSent:
    case AuthPassSent:
        if (code == 235)
            return sendMailFrom();
        break;
    case MailFromSent:
        if (positive)
            return send(RcptToSent, "RCPT TO:" + envelope(SendTo));
        break;
    case RcptToSent:
        if (positive)
            return send(DataSent, "DATA");
        break;
    case DataSent:
        if (code == 354) {
            QPointer<cSmtp> alive(this);
            emit Sending();
            if (alive && step_ == DataSent)
                send(TextSent, messageData() + "."); // the text ends in CR LF: CR LF "." CR LF
            return;
        }
        break;
    case TextSent:
        if (positive) {
            sent_ = true;
            status_ = QStringLiteral("Message sent");
            return send(QuitSent, "QUIT");
        }
        break;
    default: break;
    }

    if (code >= 401) {
        status_ = QStringLiteral("SMTP Err : %1").arg(code);
        const QString said = QString::fromLatin1(line).simplified();
        const bool login = step_ >= AuthPlainSent && step_ <= AuthPassSent;
        errorText_ =
            login
                ? QStringLiteral("%1 refused the login (%2). Check the SMTP user name and password.").arg(peer(), said)
                : QStringLiteral("%1 answered: %2").arg(peer(), said);
        send(QuitSent, "QUIT");
    }
}

void cSmtp::sendEhlo()
{
    send(EhloSent, "EHLO " + bytes(oneLine(Server)));
}

// EHLO was answered: STARTTLS first when asked for, then the login, then the envelope.
void cSmtp::onHello(const QList<QByteArray>& lines)
{
    QList<QByteArray> capabilities;
    for (qsizetype i = 1; i < lines.size(); ++i) // the first line greets
        capabilities.append(lines[i].mid(4));
    const QSslSocket* ssl = sslSocket();
    if (Security == MailSecurity::StartTls && !(ssl && ssl->isEncrypted())) {
        if (offers(capabilities, "STARTTLS"))
            return send(StartTlsSent, "STARTTLS");
        return refuse(NotDelivered,
                      QStringLiteral("%1 offers no STARTTLS; nothing was sent in plain text. Choose TLS on port 465, "
                                     "or ask the provider.")
                          .arg(peer()));
    }
    if (UserName.isEmpty())
        return sendMailFrom();
    const QList<QByteArray> mechanisms = authMechanisms(capabilities);
    if (mechanisms.contains("PLAIN"))
        return send(AuthPlainSent,
                    "AUTH PLAIN " + (QByteArray(1, '\0') + UserName.toUtf8() + '\0' + Password.toUtf8()).toBase64());
    if (mechanisms.contains("LOGIN"))
        return send(AuthLoginSent, "AUTH LOGIN");
    refuse(NotDelivered, QStringLiteral("%1 offers no login this program knows (AUTH PLAIN or LOGIN)%2; the mail was "
                                        "not sent.")
                             .arg(peer(), Security == MailSecurity::None ? QStringLiteral(" without TLS") : QString()));
}

void cSmtp::sendMailFrom()
{
    send(MailFromSent, "MAIL FROM:" + envelope(MailFrom));
}

// Ends the session at once, without another word to the server.
void cSmtp::refuse(CloseCode code, const QString& why)
{
    errorText_ = why;
    status_ = why;
    finish(code);
}

void cSmtp::onEncrypted()
{
    if (holdsSocket() && step_ == Handshaking)
        sendEhlo(); // the server forgets what it said before TLS
}

void cSmtp::onSslErrors(const QList<QSslError>& errors)
{
    QSslSocket* ssl = sslSocket();
    if (!holdsSocket() || !ssl || !inSession())
        return;
    if (trust_.accept(Server, errors, ssl->peerCertificate()))
        return ssl->ignoreSslErrors(errors);
    refuse(NotDelivered, trust_.refusal());
}

// The message as the server receives it after 354, up to the final ".".
QByteArray cSmtp::messageData()
{
    MailComposer mail;
    mail.From = oneLine(MailFrom);
    mail.To = oneLine(SendTo);
    mail.Subject = oneLine(MessageSubject);
    mail.Text = MessageText;
    mail.RepliedMessageID = RepliedMessageID;
    mail.RepliedReferences = RepliedReferences;
    mail.RepliedInReplyTo = RepliedInReplyTo;
    mail.AutoReplied = AutoReplied;
    if (attach_ != 0) {
        EncodeNow(attachPath_);
        QFile encoded(tempFilePath());
        if (encoded.open(QIODevice::ReadOnly))
            mail.Text += QStringLiteral("\r\n\r\n") + QString::fromLatin1(encoded.readAll());
        encoded.close();
        QFile::remove(tempFilePath());
    }
    return dotStuffed(mail.compose(QDateTime::fromMSecsSinceEpoch(platform::AppClock().msecsSinceEpoch())));
}

void cSmtp::send(Step next, const QByteArray& line)
{
    step_ = next;
    replyTicks_ = 0;
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState)
        socket_->write(line + "\r\n");
}

// The one end of a session: raised once per Connect, with the time-out already stopped.
void cSmtp::finish(CloseCode code)
{
    if (!inSession())
        return;
    StopTimeout();
    step_ = Closed;
    closeSocket();
    emit ServerClose(code);
}

// ---- socket and timer events

void cSmtp::onTick()
{
    if (!holdsTimer() || !inSession())
        return;
    timer_->stop();
    // A server that keeps sending continuation lines resets the idle count, not the reply's.
    if (++ticks_ < kTimeoutTicks && ++replyTicks_ < kTimeoutTicks * kReplyTickFactor) {
        timer_->start();
        return;
    }
    status_ = QStringLiteral("Winsock Timeout !");
    errorText_ = QStringLiteral("%1 did not answer in time.").arg(peer());
    finish(TimedOut);
}

// Any socket error is a network error for the owner (code 2), whatever its number.
void cSmtp::onSocketError(QAbstractSocket::SocketError error)
{
    if (!holdsSocket() || closing_ || !inSession())
        return;
    // A close before TLS is up, when TLS was asked for, is a failed handshake.
    const QSslSocket* ssl = sslSocket();
    const bool handshaking =
        ssl && !ssl->isEncrypted()
        && (Security == MailSecurity::Tls || (Security == MailSecurity::StartTls && step_ == Handshaking));
    if (error == QAbstractSocket::RemoteHostClosedError && !handshaking)
        return onServerClosed();
    if (handshaking || error == QAbstractSocket::SslHandshakeFailedError)
        return refuse(NotDelivered, QStringLiteral("TLS with %1 failed: %2. Check the port and the security setting.")
                                        .arg(peer(), socket_->errorString()));
    errorText_ = QStringLiteral("Cannot reach %1: %2").arg(peer(), socket_->errorString());
    finish(NetworkError);
}

void cSmtp::onServerClosed()
{
    if (!holdsSocket() || closing_ || !inSession())
        return;
    if (socket_->bytesAvailable() > 0) { // the last reply may come with the close
        QPointer<cSmtp> alive(this);
        onDataArrival();
        if (!alive || !inSession())
            return;
    }
    if (!sent_)
        errorText_ = QStringLiteral("%1 closed the connection before the mail was accepted.").arg(peer());
    finish(sent_ ? ServerClosed : NotDelivered);
}

void cSmtp::onBytesWritten()
{
    if (!holdsSocket())
        return;
    ticks_ = replyTicks_ = 0; // sending is progress too
    if (socket_->bytesToWrite() == 0)
        emit SendComplete();
}

void cSmtp::startTimeout()
{
    lent::RestartTimer(timer_, this, ticks_);
}

void cSmtp::StopTimeout()
{
    lent::StopTimer(timer_, this, ticks_);
}

void cSmtp::closeSocket()
{
    lent::CloseSocket(socket_, this, closing_);
}

// ---- the attachment

QString cSmtp::tempFilePath() const
{
    return platform::ProgramFolder() + QStringLiteral("/utemp%1.uue").arg(TempFileNumber);
}

// "begin 664 name", lines of 45 bytes as a length character and four characters per three
// bytes (the last line padded with blanks, possibly empty), "`" for every blank, "`", "end";
// lines end in LF alone.
void cSmtp::EncodeNow(const QString& path)
{
    QFile out(tempFilePath());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QFile in(path);
    const QByteArray content = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    const QString name = path.mid(qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/'))) + 1);

    QByteArray encoded = "begin 664 " + bytes(name) + "\n";
    const qsizetype lines = content.size() / kUuLineBytes + 1;
    for (qsizetype l = 0; l < lines; ++l) {
        QByteArray chunk = content.mid(l * kUuLineBytes, kUuLineBytes);
        QByteArray line(1, char(chunk.size() + 32));
        while (chunk.size() % 3 != 0)
            chunk += ' ';
        for (qsizetype i = 0; i < chunk.size(); i += 3) {
            const auto b1 = uchar(chunk[i]), b2 = uchar(chunk[i + 1]), b3 = uchar(chunk[i + 2]);
            line += char((b1 >> 2) + 32);
            line += char((((b1 & 3) << 4) | (b2 >> 4)) + 32);
            line += char((((b2 & 15) << 2) | (b3 >> 6)) + 32);
            line += char((b3 & 63) + 32);
        }
        encoded += line.replace(' ', '`') + "\n";
    }
    encoded += "`\nend\n";
    out.write(encoded);
}
