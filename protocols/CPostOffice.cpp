// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/CPostOffice.h"

#include "platform/CodePage.h"
#include "protocols/LentControls.h"
#include "platform/SystemLocale.h"

#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>
#include <QTimer>

namespace {

const QByteArray kEndMarker = QByteArrayLiteral("\n.\r\n");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

// Socket errors as the numbers users know from other mail programs.
int16_t socketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnknownSocketError: return 10000; // 9999 is the time-out
    default: return int16_t(10000 + int(error));
    }
}

QString systemText(const QByteArray& bytes)
{
    return platform::BytesToText(bytes, platform::SystemAnsiCodePage()).text;
}

} // namespace

CPostOffice::CPostOffice(QObject* parent) : QObject(parent) { }

CPostOffice::~CPostOffice()
{
    lent::Release(this, socket_, timer_, closing_);
    closeFile();
}

// ---- lent controls and settings

void CPostOffice::setTimerControl(QTimer* timer)
{
    if (!lent::Take(timer_, timer, this))
        return;
    connect(timer, &QTimer::timeout, this, &CPostOffice::onTick);
}

void CPostOffice::Winsock(QTcpSocket* socket)
{
    if (!lent::Take(socket_, socket, this))
        return;
    connect(socket, &QTcpSocket::readyRead, this, &CPostOffice::onDataArrival);
    connect(socket, &QAbstractSocket::disconnected, this, &CPostOffice::onServerClosed);
    connect(socket, &QAbstractSocket::errorOccurred, this, &CPostOffice::onSocketError);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, &CPostOffice::onEncrypted);
        connect(ssl, &QSslSocket::sslErrors, this, &CPostOffice::onSslErrors);
    }
}

QSslSocket* CPostOffice::sslSocket() const
{
    return qobject_cast<QSslSocket*>(socket_.data());
}

QString CPostOffice::peer() const
{
    return host_ + QLatin1Char(':') + QString::number(port_);
}

// The client raises its notes either way; the owner's log writer decides what reaches the file.
void CPostOffice::setWriteLog(bool on)
{
    writeLog_ = on;
}

// A socket takes its peer only when connecting, so host and port wait here until Connect.
void CPostOffice::POPHostname(const QString& host)
{
    host_ = host;
}
void CPostOffice::POPPort(uint16_t port)
{
    port_ = port;
}

bool CPostOffice::holdsSocket() const
{
    return lent::HeldBy(socket_, this);
}
bool CPostOffice::holdsTimer() const
{
    return lent::HeldBy(timer_, this);
}

// ---- commands

void CPostOffice::Connect()
{
    errNum_ = 0;
    errDesc_.clear();
    status_ = Connecting;
    closeFile();
    lent::Hold(socket_, this);
    lent::Hold(timer_, this);
    closeSocket();
    StartTimeout();
    buffer_.clear();
    tail_.clear();
    codePageNoted_ = false;
    negative_ = idOnly_ = false;
    deletions_ = 0;
    pipelining_ = -1;
    resetAhead();
    failedAt_ = Connecting;
    serverReply_.clear();
    awaiting_ = true; // the server speaks first
    replyTicks_ = 0;
    if (!socket_)
        return fail(kProtocolError, QStringLiteral("POP Protocol : 0 no socket to connect with"));
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        return;
    QSslSocket* ssl = sslSocket();
    if (security_ != MailSecurity::None && (!ssl || !QSslSocket::supportsSsl()))
        return fail(kSecurityError, QStringLiteral("TLS is not available here, so %1 was not contacted.").arg(peer()));
    if (ssl)
        CertificateTrust::prepare(*ssl, host_);
    // The socket picks any free local port.
    if (security_ == MailSecurity::Tls)
        ssl->connectToHostEncrypted(host_, port_);
    else
        socket_->connectToHost(host_, port_);
}

void CPostOffice::RetrieveMsgNum(int16_t n)
{
    if (refused(n))
        return;
    current_ = n;
    errNum_ = 0;
    errDesc_.clear();
    send(RetrSent, QStringLiteral("RETR %1").arg(n));
}

void CPostOffice::RetrieveCurrentMsg()
{
    if (!refused(current_))
        send(RetrSent, QStringLiteral("RETR %1").arg(current_));
}

void CPostOffice::WriteCurrentMsgToFile(const QString& path)
{
    if (refused(current_))
        return;
    errNum_ = 0;
    errDesc_.clear();
    closeFile();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(kFileError, file_.errorString());
    send(RetrToFile, QStringLiteral("RETR %1").arg(current_));
}

void CPostOffice::DeleteMsgNum(int16_t n)
{
    if (refused(n))
        return;
    current_ = n;
    errNum_ = 0;
    errDesc_.clear();
    if (ahead_)
        return void(sendAhead(Ahead::Dele, n, DeleSent));
    send(DeleSent, QStringLiteral("DELE %1").arg(n));
}

void CPostOffice::DeleteCurrentMsg()
{
    if (refused(current_))
        return;
    if (ahead_)
        return void(sendAhead(Ahead::Dele, current_, DeleSent));
    send(DeleSent, QStringLiteral("DELE %1").arg(current_));
}

void CPostOffice::SetCurrentMsg(int16_t n)
{
    ahead_ ? listAhead(n) : ask(n);
}

void CPostOffice::RetrieveNext()
{
    const int next = int(current_) + 1; // 32767 + 1 is refused, not wrapped
    ahead_ ? listAhead(next) : ask(next);
}

void CPostOffice::MUID(int16_t n)
{
    if (errNum_ >= 1 || refused(n))
        return;
    errNum_ = 0;
    errDesc_.clear();
    send(UidlSent, QStringLiteral("UIDL %1").arg(n));
}

void CPostOffice::AskUniqueID(int16_t n)
{
    if (refused(n))
        return;
    current_ = n;
    errNum_ = 0;
    errDesc_.clear();
    idOnly_ = true;
    send(UidlSent, QStringLiteral("UIDL %1").arg(n));
}

void CPostOffice::QuitServer()
{
    if (ahead_ ? sendAhead(Ahead::Quit, 0, QuitSent) : send(QuitSent, QStringLiteral("QUIT")))
        raise(); // status 8 now, status 10 when the server answers
}

// Closing on request ends the session quietly: no later time-out reports it.
void CPostOffice::DisConnect()
{
    StopTimeout();
    awaiting_ = false;
    status_ = Closed;
    resetAhead();
    closeFile();
    closeSocket();
}

void CPostOffice::StartTimeout()
{
    lent::RestartTimer(timer_, this, idleTicks_);
}

void CPostOffice::StopTimeout()
{
    lent::StopTimer(timer_, this, idleTicks_);
}

// The next message's headers: UIDL then TOP.
void CPostOffice::ask(int n)
{
    if (refused(n))
        return;
    current_ = int16_t(n);
    errNum_ = 0;
    errDesc_.clear();
    send(UidlSent, QStringLiteral("UIDL %1").arg(n));
}

// Messages are numbered from 1 to 32767. A number outside (a wrapped count, or the one after
// 32767) ends the session with a protocol error rather than asking the server for a wrong
// message; the owner sees status 10 and ErrNum as for any failed session.
bool CPostOffice::refused(int n)
{
    if (n >= 1 && n <= 32767)
        return false;
    fail(kProtocolError, QStringLiteral("POP Protocol : %1 message number %2 out of range").arg(status_).arg(n));
    return true;
}

// ---- the dialogue

void CPostOffice::onDataArrival()
{
    if (!holdsSocket())
        return;
    idleTicks_ = 0;
    if (ahead_)
        return readAhead();
    const QByteArray chunk = socket_->readAll();
    noteCodePage(chunk);
    if (!awaiting_ || chunk.isEmpty())
        return; // a POP3 server speaks only when asked

    // "-ERR" to TOP or RETR is a one-line reply, not the start of a message.
    if (multiLine() && replyBytes_ == 0 && buffer_.isEmpty() && tail_.isEmpty() && chunk.startsWith('-'))
        negative_ = true;

    switch (negative_ ? Closed : status_) {
    case TopSent:
    case RetrSent:
    case CapaSent:
        if (collectReply(chunk)) {
            QByteArray text = buffer_.mid(buffer_.indexOf(kLineEnd) + 2); // without the status line
            text.chop(3); // nor ". CR LF"
            onReply(text);
        }
        return;
    case RetrToFile:
        if (collectToFile(chunk))
            onReply(QByteArray());
        return;
    default: {
        buffer_ += chunk;
        const qsizetype end = buffer_.indexOf(kLineEnd);
        if (end >= 0)
            return onReply(buffer_.left(end + 2));
        if (buffer_.size() > kStatusLineCap)
            return fail(
                kProtocolError,
                QStringLiteral("POP Protocol : %1 %2").arg(status_).arg(systemText(buffer_.left(kStatusLineCap))));
        return;
    }
    }
}

void CPostOffice::onReply(const QByteArray& reply)
{
    // A whole TOP or RETR reply comes here without its status line: it was positive.
    const bool positive = !negative_ && (multiLine() || reply.startsWith('+'));
    awaiting_ = false;
    negative_ = false;
    buffer_.clear();
    replyTicks_ = 0;
    if (!positive && status_ == StlsSent) {
        serverReply_ = systemText(reply).trimmed();
        return fail(kSecurityError,
                    QStringLiteral("%1 refused STLS (%2), so the session ended before the user name or password "
                                   "was sent. Choose TLS on port 995, or ask the provider.")
                        .arg(peer(), serverReply_));
    }
    // A server without UIDL answers "-ERR": the message goes on without an id; one without
    // CAPA is simply asked one command at a time.
    if (!positive && status_ != UidlSent && status_ != CapaSent) {
        serverReply_ = systemText(reply).trimmed();
        return fail(kProtocolError, QStringLiteral("POP Protocol : %1 %2").arg(status_).arg(systemText(reply)));
    }

    switch (status_) {
    case Connecting:
        msgCount_ = 0;
        // Commands go out as written, not held back for the acknowledgement of earlier ones; an
        // option takes effect only on a connected socket.
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Nothing but STLS goes out before TLS is up.
        if (security_ == MailSecurity::StartTls && !(sslSocket() && sslSocket()->isEncrypted()))
            send(StlsSent, QStringLiteral("STLS"));
        else
            send(UserSent, QStringLiteral("USER ") + POPUserName);
        break;
    case StlsSent:
        // Whatever else came in plain text is dropped; the dialogue starts again under TLS.
        awaiting_ = false;
        if (!sslSocket())
            return fail(kSecurityError, QStringLiteral("TLS is not available here."));
        sslSocket()->startClientEncryption();
        break;
    case UserSent: send(PassSent, QStringLiteral("PASS ") + POPPassword); break;
    case PassSent: send(StatSent, QStringLiteral("STAT")); break;
    case StatSent:
        if (readCount(reply))
            raise();
        break;
    case UidlSent: {
        const qsizetype blank = reply.indexOf(' ', 4);
        uniqueId_ = positive && blank >= 0 ? systemText(reply.mid(blank + 1)) : QString();
        if (idOnly_) {
            idOnly_ = false;
            raise();
        } else {
            send(TopSent, QStringLiteral("TOP %1 0").arg(current_));
        }
        break;
    }
    case TopSent:
        readHeader(reply);
        raise();
        break;
    case RetrSent:
        headerReply_.reset();
        otherFields_ = false;
        message().CreateFromText(reply);
        raise();
        break;
    case DeleSent:
        ++deletions_;
        raise();
        break;
    case QuitSent:
        StopTimeout();
        status_ = Closed;
        message_.reset();
        closeSocket();
        raise();
        break;
    case RetrToFile:
        closeFile();
        raise();
        break;
    case CapaSent: onCapabilities(reply, positive); break;
    case Closed: break;
    }
}

// The count of "+OK count size" (STAT) or "+OK number id" (UIDL): a number from 0 to 32767.
bool CPostOffice::readCount(const QByteArray& reply)
{
    qsizetype end = 4;
    while (end < reply.size() && reply[end] != ' ' && reply[end] != '\r' && reply[end] != '\n')
        ++end;
    const QByteArray digits = reply.mid(4, end - 4);
    bool ok = !digits.isEmpty() && digits.size() <= 5;
    for (char c : digits)
        ok = ok && c >= '0' && c <= '9';
    const int count = ok ? digits.toInt() : -1;
    if (count < 0 || count > 32767) {
        fail(kProtocolError, QStringLiteral("POP Protocol : %1 %2").arg(status_).arg(systemText(reply)));
        return false;
    }
    msgCount_ = int16_t(count);
    return true;
}

// Collects a TOP or RETR reply; true once its end marker is in. The buffer keeps the first
// kReplyBufferCap bytes; past them only the last bytes are kept, to find the marker, and the
// kept text is closed with the marker.
bool CPostOffice::collectReply(const QByteArray& chunk)
{
    const QByteArray seen = tail_ + chunk;
    const qsizetype at = seen.indexOf(kEndMarker);
    const QByteArray part = at < 0 ? chunk : chunk.left(at + kEndMarker.size() - tail_.size());
    replyBytes_ += part.size();
    buffer_ += part.left(qMax<qsizetype>(0, kReplyBufferCap - buffer_.size()));
    if (at < 0) {
        tail_ = seen.right(kEndMarker.size() - 1);
        return false;
    }
    if (buffer_.size() < replyBytes_) {
        buffer_.truncate(qsizetype(qMin<qint64>(buffer_.size(), replyBytes_ - kEndMarker.size())));
        buffer_ += kEndMarker;
    }
    tail_.clear();
    return true;
}

// Writes a RETR reply to the file as it arrives, status line included and ". CR LF" left out.
// The last bytes wait in the tail until it is clear they do not begin the end marker.
bool CPostOffice::collectToFile(const QByteArray& chunk)
{
    const QByteArray seen = tail_ + chunk;
    const qsizetype at = seen.indexOf(kEndMarker);
    const qsizetype keep = at < 0 ? qMax<qsizetype>(0, seen.size() - (kEndMarker.size() - 1)) : at + 1;
    if (file_.write(seen.constData(), keep) != keep) {
        fail(kFileError, file_.errorString());
        return false;
    }
    tail_ = at < 0 ? seen.mid(keep) : QByteArray();
    return at >= 0;
}

// Bytes that read as fewer characters in the system code page hold double-byte text. The note
// goes to the log once per session and changes nothing; it is raised from the event loop, so a
// listener that pauses cannot run into the reply being read.
void CPostOffice::noteCodePage(const QByteArray& chunk)
{
    if (codePageNoted_ || chunk.isEmpty())
        return;
    // A single-byte code page reads one character a byte, and so does plain ASCII in any.
    const int codePage = platform::SystemAnsiCodePage();
    if (codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950)
        return;
    if (std::all_of(chunk.cbegin(), chunk.cend(), [](char c) { return uchar(c) < 0x80; }))
        return;
    const qsizetype characters = platform::BytesToText(chunk, codePage).text.size();
    if (characters == chunk.size())
        return;
    codePageNoted_ = true;
    const QString note = QStringLiteral("POP3 note %1: %2 bytes read as %3 characters in code page %4")
                             .arg(kCodePageMismatch)
                             .arg(chunk.size())
                             .arg(characters)
                             .arg(codePage);
    QMetaObject::invokeMethod(
        this, [this, note] { emit DebugPrint(note); }, Qt::QueuedConnection);
}

bool CPostOffice::send(Status next, const QString& line)
{
    if (!leaveAhead())
        return false;
    status_ = next;
    buffer_.clear();
    tail_.clear();
    replyBytes_ = 0;
    replyTicks_ = 0;
    awaiting_ = true;
    negative_ = false;
    StartTimeout(); // the idle count runs from the command; it may have been stopped meanwhile
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        fail(kProtocolError, QStringLiteral("POP Protocol : %1 not connected").arg(status_));
        return false;
    }
    socket_->write(platform::TextToBytes(line, platform::SystemAnsiCodePage()).bytes + kLineEnd);
    socket_->flush(); // out now, not on the event loop's next turn: one command is all we wait for
    return true;
}

void CPostOffice::fail(int16_t num, const QString& desc)
{
    failedAt_ = status_;
    errNum_ = num;
    errDesc_ = desc;
    StopTimeout();
    status_ = Closed;
    awaiting_ = false;
    resetAhead();
    closeFile();
    closeSocket();
    raise();
}

// Always the last step of a handler: the owner may release the client from its slot.
void CPostOffice::raise()
{
    emit POPStatus();
}

// ---- socket and timer events

void CPostOffice::onTick()
{
    if (!holdsTimer() || status_ == Closed)
        return;
    timer_->stop();
    ++idleTicks_;
    if (awaiting_)
        ++replyTicks_;
    if (idleTicks_ < TimeoutCount && replyTicks_ < int(TimeoutCount) * kReplyTickFactor) {
        timer_->start();
        return;
    }
    StopTimeout();
    fail(kTimeoutError, QStringLiteral("POP3 Server Timeout "));
}

void CPostOffice::onSocketError(QAbstractSocket::SocketError error)
{
    if (!holdsSocket() || closing_ || status_ == Closed)
        return;
    // A close before TLS is up, when TLS was asked for, is a failed handshake.
    const QSslSocket* ssl = sslSocket();
    const bool handshaking =
        ssl && !ssl->isEncrypted()
        && (security_ == MailSecurity::Tls || (security_ == MailSecurity::StartTls && status_ == StlsSent));
    if (error == QAbstractSocket::RemoteHostClosedError && !handshaking)
        return onServerClosed(); // the server ended the session: not a network failure
    if (error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError
        || error == QAbstractSocket::SslInvalidUserDataError || error == QAbstractSocket::RemoteHostClosedError)
        return fail(kSecurityError, QStringLiteral("TLS with %1 failed: %2. Check the port and the security setting.")
                                        .arg(peer(), socket_->errorString()));
    fail(socketErrorNumber(error), socket_->errorString());
}

void CPostOffice::onEncrypted()
{
    if (!holdsSocket() || status_ != StlsSent)
        return; // with TLS from the start, the greeting comes next as usual
    send(UserSent, QStringLiteral("USER ") + POPUserName);
}

void CPostOffice::onSslErrors(const QList<QSslError>& errors)
{
    QSslSocket* ssl = sslSocket();
    if (!holdsSocket() || !ssl || status_ == Closed)
        return;
    if (trust_.accept(host_, errors, ssl->peerCertificate()))
        return ssl->ignoreSslErrors(errors);
    fail(kSecurityError, trust_.refusal());
}

void CPostOffice::onServerClosed()
{
    if (!holdsSocket() || closing_ || status_ == Closed)
        return;
    if (socket_->bytesAvailable() > 0) { // the last reply may come with the close
        QPointer<CPostOffice> alive(this);
        onDataArrival();
        if (!alive || status_ == Closed)
            return;
    }
    StopTimeout();
    // Only after QUIT is a close the expected end, and only a confirmed QUIT makes deletions.
    if (errNum_ == 0 && (status_ != QuitSent || deletions_ > 0)) {
        failedAt_ = status_;
        errNum_ = kProtocolError;
        errDesc_ =
            status_ == QuitSent
                ? QStringLiteral("POP Protocol : 8 connection closed before QUIT was confirmed; nothing was deleted")
                : QStringLiteral("POP Protocol : %1 connection closed by server").arg(status_);
    }
    status_ = Closed;
    awaiting_ = false;
    resetAhead();
    closeFile();
    closeSocket();
    raise();
}

void CPostOffice::closeSocket()
{
    lent::CloseSocket(socket_, this, closing_);
}

void CPostOffice::closeFile()
{
    if (file_.isOpen())
        file_.close();
}

// ---- the last message read

CMessage& CPostOffice::message() const
{
    if (!message_) {
        message_ = std::make_unique<CMessage>();
        headerReply_.reset();
        otherFields_ = false;
    }
    return *message_;
}

// A listing reads the fields of every header that its rows and filters need; the other fields
// and the block as text wait until they are asked for.
void CPostOffice::readHeader(const QByteArray& reply)
{
    message().CreateListedFields(reply);
    headerReply_ = reply;
    otherFields_ = true;
}

CMessage& CPostOffice::wholeHeader() const
{
    CMessage& m = message();
    if (otherFields_ && headerReply_) {
        m.CreateHeaderFields(*headerReply_);
        otherFields_ = false;
    }
    return m;
}

QString CPostOffice::MsgHeaders() const
{
    CMessage& m = wholeHeader();
    if (headerReply_) {
        m.Headers = CMessage::HeaderText(*headerReply_);
        headerReply_.reset();
    }
    return m.Headers;
}

QString CPostOffice::MsgContents() const
{
    return message().MessageBody();
}
QByteArray CPostOffice::MsgContentsByte() const
{
    return message().MessageBodyByte();
}
QString CPostOffice::MsgSubject() const
{
    return message().Subject;
}
QByteArray CPostOffice::MsgSubjectByte() const
{
    return message().SubjectByte();
}
int32_t CPostOffice::MsgSubjectCharset() const
{
    return message().SubjectCharset();
}
QString CPostOffice::MsgFrom() const
{
    return message().From;
}
QString CPostOffice::MsgFromOrg() const
{
    return message().FromOrg();
}
QString CPostOffice::MsgSubjectOrg() const
{
    return message().SubjectOrg();
}
QByteArray CPostOffice::MsgFromByte() const
{
    return message().FromByte();
}
int32_t CPostOffice::MsgFromCharset() const
{
    return message().FromCharset();
}
QString CPostOffice::MsgTo() const
{
    return wholeHeader().MessageTo;
}
QString CPostOffice::MsgSendDatetime() const
{
    return message().SendDate;
}
int16_t CPostOffice::MsgMonth() const
{
    return message().MonthNum();
}
int16_t CPostOffice::MsgYear() const
{
    return message().YearNum();
}
int32_t CPostOffice::Charset() const
{
    return message().Charset();
}

// A message without a readable date counts as 1 January 9999.
QDate CPostOffice::MsgSendDate() const
{
    const QDate date(message().YearNum(), message().MonthNum(), message().DayNum());
    return date.isValid() ? date : QDate(9999, 1, 1);
}
