// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/cSmtp.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "protocols/LentControls.h"
#include "protocols/MailComposer.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"

#include <QDateTime>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int kUuLineBytes = 45; // bytes per uuencoded line

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
    replyTicks_ = 0;
    step_ = Connecting;
    status_ = QStringLiteral("Connecting to Mail server");
    startTimeout();
    if (!socket_ || SMTPPort < 1 || SMTPPort > 65535)
        return finish(NetworkError);
    // The socket picks any free local port.
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
        if (line.size() > 3 && line[3] == '-')
            continue; // a multi-line reply counts at its last line
        onReply(line);
    }
    if (alive && inSession() && buffer_.size() > kReplyLineCap)
        finish(sent_ ? ServerClosed : NotDelivered);
}

void cSmtp::onReply(const QByteArray& line)
{
    const int code = replyCode(line);
    if (step_ == QuitSent || code == 221) // whatever the answer to QUIT, the session is over
        return finish(sent_ ? Delivered : NotDelivered);

    if (code >= 200 && code <= 299) { // every positive completion moves the dialogue on
        switch (step_) {
        case Connecting:
            if (code == 220)
                send(HeloSent, "HELO " + bytes(oneLine(Server)));
            break;
        case HeloSent: send(MailFromSent, "MAIL FROM:" + bytes(oneLine(MailFrom))); break;
        case MailFromSent: send(RcptToSent, "RCPT TO:" + bytes(oneLine(SendTo))); break;
        case RcptToSent: send(DataSent, "DATA"); break;
        case TextSent:
            sent_ = true;
            status_ = QStringLiteral("Message sent");
            send(QuitSent, "QUIT");
            break;
        default: break;
        }
    } else if (code == 354) {
        if (step_ == DataSent) {
            QPointer<cSmtp> alive(this);
            emit Sending();
            if (alive && step_ == DataSent)
                send(TextSent, messageData() + "."); // the text ends in CR LF: CR LF "." CR LF
        }
    } else if (code >= 401) {
        status_ = QStringLiteral("SMTP Err : %1").arg(code);
        send(QuitSent, "QUIT");
    }
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
    finish(TimedOut);
}

// Any socket error is a network error for the owner (code 2), whatever its number.
void cSmtp::onSocketError(QAbstractSocket::SocketError error)
{
    if (!holdsSocket() || closing_ || !inSession())
        return;
    if (error == QAbstractSocket::RemoteHostClosedError)
        return onServerClosed();
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
