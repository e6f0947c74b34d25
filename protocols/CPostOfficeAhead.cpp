// SPDX-License-Identifier: GPL-3.0-or-later
// Listing ahead. A server that announces PIPELINING gets the UIDL and TOP commands of the next
// messages before their replies are in. Replies are parsed in the order the commands went out
// and handed to the owner one step at a time, as without: a header is acted on (spam deleted,
// a reply sent) before the owner asks for the next one, and a DELE's answer comes before the
// next header even though the server sends the headers already asked for first.
#include "protocols/CPostOffice.h"

#include "protocols/ByteSearch.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <charconv>

namespace {

const QByteArray kEndMarker = QByteArrayLiteral("\n.\r\n");
const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
// Parsed bytes are dropped from the front of the receive buffer once they are this many.
constexpr qsizetype kCompactAt = 64 * 1024;

QString systemText(const QByteArray& bytes)
{
    return platform::BytesToText(bytes, platform::SystemAnsiCodePage()).text;
}

} // namespace

void CPostOffice::ListFrom(int16_t n)
{
    if (refused(n))
        return;
    if (pipelining_ >= 0)
        return pipelining_ == 1 ? listAhead(n) : ask(n);
    current_ = n;
    listFrom_ = n;
    errNum_ = 0;
    errDesc_.clear();
    send(CapaSent, QStringLiteral("CAPA"));
}

// The capability list, one name a line; a server without CAPA answers "-ERR".
void CPostOffice::onCapabilities(const QByteArray& reply, bool positive)
{
    pipelining_ = 0;
    for (const QByteArray& line : reply.split('\n')) {
        const QByteArray name = line.trimmed().split(' ').value(0);
        if (positive && name.compare("PIPELINING", Qt::CaseInsensitive) == 0)
            pipelining_ = 1;
    }
    pipelining_ == 1 ? listAhead(listFrom_) : ask(listFrom_);
}

void CPostOffice::listAhead(int n)
{
    if (refused(n))
        return;
    if (!ahead_) {
        resetAhead();
        ahead_ = true;
    }
    // Asked out of order (a new start): the commands go out again from there.
    if (n > sentUpTo_ || n <= current_)
        sentUpTo_ = int16_t(n - 1);
    current_ = int16_t(n);
    errNum_ = 0;
    errDesc_.clear();
    status_ = UidlSent;
    want_ = {Ahead::Uidl, current_};
    awaiting_ = true;
    replyTicks_ = 0;
    // It may have been stopped while the owner sent a reply; a running one only counts afresh,
    // which spares a timer restart for every header.
    if (timer_ && timer_->isActive())
        idleTicks_ = 0;
    else
        StartTimeout();
    topUp();
    deliverAhead();
}

// Keeps between half and all of kListAhead messages in flight, written in one go; never
// beyond the mailbox's count, but always the message asked for.
void CPostOffice::topUp()
{
    if (status_ == Closed)
        return;
    const int last = std::max<int>(current_, std::min<int>(msgCount_, current_ + kListAhead - 1));
    if (sentUpTo_ >= last || (sentUpTo_ >= current_ && sentUpTo_ - current_ + 1 >= kListAhead / 2))
        return;
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState)
        return fail(kProtocolError, QStringLiteral("POP Protocol : %1 not connected").arg(status_));
    const int first = std::max<int>(sentUpTo_ + 1, current_);
    // Written into one buffer sized once: no number or line becomes a string of its own.
    QByteArray out((last - first + 1) * 32, Qt::Uninitialized);
    char* at = out.data();
    sent_.reserve(sent_.size() + 2 * (last - first + 1));
    const auto put = [&at](const char* text, size_t size) { at = std::copy_n(text, size, at); };
    for (int m = first; m <= last; ++m) {
        char number[8];
        const size_t digits = size_t(std::to_chars(number, number + sizeof number, m).ptr - number);
        put("UIDL ", 5);
        put(number, digits);
        put("\r\nTOP ", 6);
        put(number, digits);
        put(" 0\r\n", 4);
        sent_.append({Ahead::Uidl, int16_t(m)});
        sent_.append({Ahead::Top, int16_t(m)});
    }
    out.truncate(at - out.constData());
    sentUpTo_ = int16_t(last);
    socket_->write(out);
    socket_->flush();
}

// DELE and QUIT go behind the commands in flight; the owner hears of them when their reply
// comes, after those of the commands before.
bool CPostOffice::sendAhead(Ahead cmd, int16_t n, Status next)
{
    status_ = next;
    want_ = {cmd, n};
    awaiting_ = true;
    replyTicks_ = 0;
    StartTimeout();
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        fail(kProtocolError, QStringLiteral("POP Protocol : %1 not connected").arg(status_));
        return false;
    }
    if (cmd == Ahead::Quit)
        parsed_.clear(); // the headers read ahead are not wanted any more
    socket_->write(cmd == Ahead::Quit ? QByteArray("QUIT\r\n") : "DELE " + QByteArray::number(n) + "\r\n");
    socket_->flush();
    sent_.append({cmd, n});
    deliverAhead();
    return true;
}

// The receive buffer keeps its room between reads: a listing reads the same amounts again and
// again, and fresh memory each time costs more than the copy into it.
void CPostOffice::emptyInput()
{
    in_.resize(0);
    inPos_ = scanFrom_ = 0;
}

void CPostOffice::readAhead()
{
    const qint64 available = socket_->bytesAvailable();
    if (available <= 0)
        return;
    const qsizetype old = in_.size();
    in_.resize(old + available);
    const qint64 got = socket_->read(in_.data() + old, available);
    in_.resize(old + std::max<qint64>(0, got));
    noteCodePage(QByteArray::fromRawData(in_.constData() + old, in_.size() - old));
    if (sent_.isEmpty()) { // a POP3 server speaks only when asked
        emptyInput();
        return;
    }
    while (parseAhead()) { }
    if (status_ == Closed)
        return;
    // Bytes past the reply to the last command were asked for by nothing: kept, they would be
    // taken for the reply to the next command (a QUIT "confirmed" before it was sent).
    if (inPos_ == in_.size() || sent_.isEmpty()) {
        emptyInput();
    } else if (inPos_ >= kCompactAt) {
        in_.remove(0, inPos_);
        scanFrom_ -= inPos_;
        inPos_ = 0;
    }
    deliverAhead();
}

// Takes the reply to the oldest command in flight off the receive buffer, when it is all in.
bool CPostOffice::parseAhead()
{
    if (sent_.isEmpty() || status_ == Closed || inPos_ >= in_.size())
        return false;
    const Sent head = sent_.first();
    Parsed reply{head.cmd, head.n, in_.at(inPos_) == '+', {}};
    if (head.cmd != Ahead::Top || !reply.positive) {
        const qsizetype end = bytes::Find(in_, kLineEnd, inPos_);
        if (end < 0) {
            if (in_.size() - inPos_ > kStatusLineCap)
                fail(kProtocolError, QStringLiteral("POP Protocol : %1 %2")
                                         .arg(status_)
                                         .arg(systemText(in_.mid(inPos_, kStatusLineCap))));
            return false;
        }
        reply.text = in_.mid(inPos_, end + 2 - inPos_);
        inPos_ = end + 2;
    } else {
        const qsizetype end = bytes::Find(in_, kEndMarker, std::max(scanFrom_, inPos_));
        if (end < 0) {
            scanFrom_ = std::max(inPos_, in_.size() - (kEndMarker.size() - 1));
            clipAhead();
            return false;
        }
        // Without the status line, and without ". CR LF" of the end marker. A clipped header
        // keeps its first kReplyBufferCap bytes and is closed with a line end.
        const qsizetype start = bytes::Find(in_, kLineEnd, inPos_) + 2;
        const qsizetype stop = clipped_ ? inPos_ + kReplyBufferCap : end + 1;
        reply.text = in_.mid(start, std::max<qsizetype>(0, stop - start));
        if (clipped_)
            reply.text += '\n';
        inPos_ = end + kEndMarker.size();
        clipped_ = false;
    }
    scanFrom_ = inPos_;
    sent_.removeFirst();
    replyTicks_ = 0;
    // What the owner can no longer ask for: earlier messages, and everything once it quits.
    const bool listing = reply.cmd == Ahead::Uidl || reply.cmd == Ahead::Top;
    if ((want_.cmd == Ahead::Quit && reply.cmd != Ahead::Quit) || (listing && reply.n < current_))
        return true;
    parsed_.append(std::move(reply));
    return true;
}

// A header past kReplyBufferCap keeps its start and the last bytes, where the end marker may
// begin; what lies between is read and dropped.
void CPostOffice::clipAhead()
{
    const qsizetype keepTo = inPos_ + kReplyBufferCap;
    const qsizetype tailFrom = in_.size() - (kEndMarker.size() - 1);
    if (tailFrom <= keepTo)
        return;
    in_.remove(keepTo, tailFrom - keepTo);
    scanFrom_ = keepTo;
    clipped_ = true;
}

// Hands the owner the reply it waits for, if it is in. The owner's next command, given from
// its handler, is picked up by this loop rather than by a call deeper down.
void CPostOffice::deliverAhead()
{
    if (delivering_)
        return;
    delivering_ = true;
    const QPointer<CPostOffice> alive(this);
    while (ahead_ && awaiting_ && status_ != Closed) {
        const auto it = std::find_if(parsed_.begin(), parsed_.end(),
                                     [this](const Parsed& p) { return p.cmd == want_.cmd && p.n == want_.n; });
        if (it == parsed_.end())
            break;
        const Parsed reply = std::move(*it);
        parsed_.erase(it);
        deliverOne(reply);
        if (!alive)
            return;
    }
    delivering_ = false;
}

bool CPostOffice::deliverOne(const Parsed& reply)
{
    if (!reply.positive && reply.cmd != Ahead::Uidl) {
        serverReply_ = systemText(reply.text).trimmed();
        fail(kProtocolError, QStringLiteral("POP Protocol : %1 %2").arg(status_).arg(systemText(reply.text)));
        return false;
    }
    switch (reply.cmd) {
    case Ahead::Uidl: {
        // A server without UIDL answers "-ERR": the message goes on without an id.
        const qsizetype blank = reply.text.indexOf(' ', 4);
        uniqueId_ = reply.positive && blank >= 0 ? systemText(reply.text.mid(blank + 1)) : QString();
        status_ = TopSent;
        want_ = {Ahead::Top, reply.n};
        return true;
    }
    case Ahead::Top:
        awaiting_ = false;
        readHeader(reply.text);
        raise();
        return true;
    case Ahead::Dele:
        awaiting_ = false;
        ++deletions_;
        raise();
        return true;
    case Ahead::Quit:
        awaiting_ = false;
        StopTimeout();
        status_ = Closed;
        message_.reset();
        resetAhead();
        closeSocket();
        raise();
        return true;
    }
    return false;
}

// A command outside the listing goes the usual way once nothing is in flight any more.
bool CPostOffice::leaveAhead()
{
    if (!ahead_)
        return true;
    if (sent_.isEmpty()) {
        resetAhead();
        return true;
    }
    fail(kProtocolError, QStringLiteral("POP Protocol : %1 a command out of turn while listing ahead").arg(status_));
    return false;
}

void CPostOffice::resetAhead()
{
    ahead_ = false;
    sent_.clear();
    parsed_.clear();
    in_.clear();
    inPos_ = scanFrom_ = 0;
    clipped_ = false;
    sentUpTo_ = 0;
}
