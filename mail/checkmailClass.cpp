// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/checkmailClass.h"

#include "mail/MailHost.h"
#include "mail/SpamList.h"
#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "platform/Utilities.h"
#include "protocols/CPostOffice.h"
#include "protocols/cSmtp.h"
#include "telephony/ClsAudioControl.h"

#include <QLocale>
#include <QMetaMethod>

#include <charconv>

namespace {

QByteArray systemBytes(const QString& text)
{
    return platform::TextToBytes(text, platform::SystemAnsiCodePage()).bytes;
}

// The short month names of the system locale, January first.
QStringList shortMonthNames()
{
    const QLocale locale = QLocale::system();
    QStringList names;
    for (int m = 1; m <= 12; ++m)
        names << locale.monthName(m, QLocale::ShortFormat);
    return names;
}

// "mmm d yyyy", as the mailbox list shows dates; months holds the twelve short month names.
QString listDate(const QDate& date, const QStringList& months)
{
    if (!date.isValid())
        return QStringLiteral("Jan 1 9999");
    char day[16], year[16];
    const char* dayEnd = std::to_chars(day, day + sizeof day, date.day()).ptr;
    const char* yearEnd = std::to_chars(year, year + sizeof year, date.year()).ptr;
    const QString month = months.size() == 12 ? months.at(date.month() - 1)
                                              : QLocale::system().monthName(date.month(), QLocale::ShortFormat);
    QString text;
    text.reserve(month.size() + 2 + (dayEnd - day) + (yearEnd - year));
    text += month;
    text += QLatin1Char(' ');
    text += QLatin1StringView(day, dayEnd);
    text += QLatin1Char(' ');
    text += QLatin1StringView(year, yearEnd);
    return text;
}

} // namespace

checkmailClass::checkmailClass(QObject* parent) : QObject(parent)
{
    // Four Chinese characters that a single-byte code page cannot hold.
    singleByteSystem_ = systemBytes(QString::fromUtf8("廣東閱讀")).size() == 4;
    logPauseTimer_.setInterval(kLogPauseTickMs);
    connect(&logPauseTimer_, &QTimer::timeout, this, &checkmailClass::onLogPauseTick);
}

checkmailClass::~checkmailClass()
{
    delete ObjPop;
    delete ObjSmtp;
}

void checkmailClass::setHost(MailHost* host)
{
    host_ = host;
}
void checkmailClass::SetAudioControl(telephony::ClsAudioControl* control)
{
    audio_ = control;
}
void checkmailClass::Popsock(QTcpSocket* socket)
{
    popSocket_ = socket;
}
void checkmailClass::Popsock(std::function<QTcpSocket*()> make)
{
    makePopSocket_ = std::move(make);
}
void checkmailClass::SMTPsock(std::function<QTcpSocket*()> make)
{
    makeSmtpSocket_ = std::move(make);
}
void checkmailClass::setPOPTimerControl(QTimer* timer)
{
    popTimer_ = timer;
}
void checkmailClass::SMTPsock(QTcpSocket* socket)
{
    smtpSocket_ = socket;
}
void checkmailClass::setSMTPTimerControl(QTimer* timer)
{
    smtpTimer_ = timer;
}
void checkmailClass::setListView(MailList* list)
{
    list_ = list;
}
void checkmailClass::writelog(bool on)
{
    writeLog_ = on;
}
void checkmailClass::allowdelete(bool) { }

void checkmailClass::CheckMail(int32_t kind)
{
    request(kind, 0);
}

void checkmailClass::RetrieveMailInServer(int16_t n)
{
    request(FetchOne, n);
}

void checkmailClass::DelMailInServer(int16_t n)
{
    request(DeleteOne, n);
}

// A request never takes over a running session: it waits for the session's end. A later
// request of the same kind replaces a waiting one.
void checkmailClass::request(int32_t mode, int16_t n, const QString& id)
{
    const Request asked{mode, n, id.isEmpty() ? idAtRow(n - 1) : id};
    if (!ObjPop && myStatus_ == Idle)
        return startRequest(asked);
    for (Request& r : waiting_) {
        if (r.mode == mode) {
            r = asked;
            return;
        }
    }
    waiting_.append(asked);
}

void checkmailClass::runWaitingRequest()
{
    if (!waiting_.isEmpty() && !ObjPop && myStatus_ == Idle)
        startRequest(waiting_.takeFirst());
}

void checkmailClass::startRequest(const Request& r)
{
    newMail_.clear();
    newMailFound_ = 0;
    myStatus_ = r.mode;
    switch (r.mode) {
    case FirstCheck:
        // Until one listing has run to the end, the mail there at the start is not new.
        firstListing_ = true;
        existingAtStart_ = -1;
        emit CheckmailStart();
        PhoneReady = true;
        break;
    case FetchOne:
        targetMessage_ = r.n;
        targetId_ = r.id;
        NewMailCount = 0;
        emit CheckmailStart();
        if (!host_ || !host_->signedIn()) { // the caller waits for an answer all the same
            setErrorMessage(QString::fromLatin1(kFetchFailed), CPostOffice::kProtocolError);
            return finish();
        }
        break;
    case DeleteOne:
        targetMessage_ = r.n;
        targetId_ = r.id;
        emit CheckmailStart();
        break;
    default: emit CheckmailStart(); break;
    }
    startSession();
}

void checkmailClass::ResetMailCount(int32_t n)
{
    knownCount_ = n;
    NewMailCount = 0;
}

void checkmailClass::killPop()
{
    myStatus_ = Idle;
    if (ObjPop) {
        ObjPop->disconnect(this);
        ObjPop->deleteLater(); // it may be the sender of the event being handled
        ObjPop = nullptr;
    }
}

void checkmailClass::startSession()
{
    if (!host_ || !host_->signedIn()) {
        myStatus_ = Idle;
        return;
    }
    lastFailure_.clear();
    if (UserName.isEmpty() || Password.isEmpty() || ServerName.isEmpty()) {
        lastFailure_ =
            QStringLiteral("No check: give the POP3 server, user name and password on the e-mail account page.");
        WriteLogLine(ServerName.isEmpty() ? QStringLiteral("POP3") : ServerName, lastFailure_);
        return finish();
    }
    emit DebugPrint(QStringLiteral("Check User : ") + UserName);
    if (ObjPop)
        return;
    memory_.open(UserName + QLatin1Char('@') + ServerName.trimmed().toLower()); // one mailbox, whatever the port
    senders_.open(UserName + QLatin1Char('@') + ServerName.trimmed().toLower());
    monthNames_ = shortMonthNames(); // once a session, not once a row
    knownAtFirstDelete_ = -1;
    userDeleted_ = false;
    listedToEnd_ = false;
    continueAfterDelete_ = false;
    ObjPop = new CPostOffice(this);
    connect(ObjPop, &CPostOffice::POPStatus, this, &checkmailClass::ObjPop_POPStatus);
    connect(ObjPop, &CPostOffice::DebugPrint, this, &checkmailClass::DebugPrint);
    ObjPop->setTimerControl(popTimer_);
    if (!popSocket_ && makePopSocket_)
        popSocket_ = makePopSocket_();
    ObjPop->Winsock(popSocket_);
    ObjPop->setWriteLog(writeLog_);
    ObjPop->POPHostname(ServerName);
    ObjPop->POPUserName = UserName;
    ObjPop->POPPassword = Password;
    ObjPop->POPPort(uint16_t(ServerPort));
    ObjPop->TimeoutCount = PopTimeoutTicks;
    ObjPop->Security(ServerSecurity);
    if (host_)
        ObjPop->TrustedFingerprint(host_->trustedCertificate(ServerIdentity(ServerName, ServerPort)));
    ObjPop->Connect();
}

void checkmailClass::ObjPop_POPStatus()
{
    if (!ObjPop)
        return;
    switch (ObjPop->status()) {
    case CPostOffice::StatSent: onCountKnown(); break;
    case CPostOffice::UidlSent: onAnchorChecked(); break;
    case CPostOffice::TopSent: onHeadersIn(); break;
    case CPostOffice::RetrSent: onMessageIn(); break;
    case CPostOffice::DeleSent: onDeleted(); break;
    case CPostOffice::Closed: onSessionEnded(); break;
    default: break;
    }
}

void checkmailClass::onCountKnown()
{
    const int count = ObjPop->MsgCount();
    switch (myStatus_) {
    case DeleteOne:
    case FetchOne:
        // The message must still be the one listed there: its id is asked first.
        if (targetMessage_ >= 1 && count >= targetMessage_) {
            ObjPop->AskUniqueID(targetMessage_);
        } else {
            if (myStatus_ == FetchOne)
                setErrorMessage(QString::fromLatin1(kFetchFailed), CPostOffice::kProtocolError);
            ObjPop->QuitServer();
        }
        break;
    case FirstCheck:
    case TimedCheck: {
        if (firstListing_ && existingAtStart_ < 0)
            existingAtStart_ = count;
        if (count == 0) {
            ResetMailCount(0);
            clearList();
            return quitListed();
        }
        // The same count may hide a changed mailbox: the last message listed must still be
        // where it was. Mail only leaves a mailbox, so then every earlier one is too.
        const QString anchor = idAtRow(knownCount_ - 1);
        if (knownCount_ > 0 && count >= knownCount_ && !anchor.isEmpty())
            ObjPop->AskUniqueID(int16_t(knownCount_));
        else
            listFromCount(count);
        break;
    }
    default: break;
    }
}

void checkmailClass::onAnchorChecked()
{
    const QString id = ObjPop->MsgUniqueID().trimmed();
    if (myStatus_ == FetchOne || myStatus_ == DeleteOne) {
        if (!id.isEmpty() && !targetId_.isEmpty() && id != targetId_) {
            emit DebugPrint(QStringLiteral("Message %1 is no longer the one listed").arg(targetMessage_));
            if (myStatus_ == FetchOne)
                setErrorMessage(QString::fromLatin1(kFetchFailed), CPostOffice::kProtocolError);
            return ObjPop->QuitServer();
        }
        targetId_ = id.isEmpty() ? targetId_ : id;
        if (myStatus_ == FetchOne)
            return ObjPop->RetrieveMsgNum(targetMessage_);
        return ObjPop->DeleteMsgNum(targetMessage_);
    }
    if (!id.isEmpty() && id != idAtRow(knownCount_ - 1))
        return rebuildList();
    listFromCount(ObjPop->MsgCount()); // unchanged, or a server without ids: by position
}

void checkmailClass::listFromCount(int count)
{
    if (count == knownCount_)
        return quitListed();
    if (count < knownCount_)
        return rebuildList(); // messages were removed elsewhere
    memory_.reserve(count - knownCount_);
    const QPointer<CPostOffice> session = ObjPop;
    const int16_t next = int16_t(knownCount_ + 1);
    WriteLogLine(ServerName, QStringLiteral(" You have %1 Messages in mailbox").arg(count), [this, session, next] {
        if (session && session == ObjPop && session->status() != CPostOffice::Closed)
            session->ListFrom(next);
    });
}

// The whole mailbox is listed again; what was listed before stays old and answered.
void checkmailClass::rebuildList()
{
    ResetMailCount(0);
    clearList();
    memory_.reserve(ObjPop->MsgCount());
    ObjPop->ListFrom(1);
}

void checkmailClass::quitListed()
{
    listedToEnd_ = true;
    ObjPop->QuitServer();
    // The listed ids go to disk while the server closes the session, rather than after; the
    // session's end writes the file again only if it changes it.
    saveMemory();
}

// On a thread of its own: flushing the file to disk takes milliseconds the listing need not
// wait for. A failed write is reported once it is known.
void checkmailClass::saveMemory()
{
    memory_.saveInBackground([this, path = memory_.filePath()](bool ok) {
        if (!ok)
            QMetaObject::invokeMethod(
                this, [this, path] { emit DebugPrint(QStringLiteral("Cannot write ") + path); }, Qt::QueuedConnection);
    });
}

void checkmailClass::onHeadersIn()
{
    if (isSpam()) {
        if (ObjPop->CurrentMessageNum() < ObjPop->MsgCount())
            continueAfterDelete_ = true;
        emit DebugPrint(QStringLiteral("Remove Spam message ") + ObjPop->MsgSubject() + ' ' + ObjPop->MsgFrom());
        ObjPop->DeleteCurrentMsg();
        return;
    }
    QString id = ObjPop->MsgUniqueID().trimmed();
    if (!MailboxMemory::validId(id))
        id.clear(); // no id: the message is judged by its position alone
    const bool existing = myStatus_ == FirstCheck || (firstListing_ && ObjPop->CurrentMessageNum() <= existingAtStart_);
    const bool isNew = !existing && !(!id.isEmpty() && memory_.listed(id));
    addListItem(DisplayStringconv(ObjPop->MsgFrom(), ObjPop->MsgFromByte(), ObjPop->MsgFromCharset()),
                DisplayStringconv(ObjPop->MsgSubject(), ObjPop->MsgSubjectByte(), ObjPop->MsgSubjectCharset()),
                listDate(ObjPop->MsgSendDate(), monthNames_), QStringLiteral("InServer"), id, isNew);
    memory_.markListed(id);

    // A reply is never answered: neither the decoded nor the received subject may hold "Re:".
    const auto reply = [this] {
        return ObjPop->MsgSubject().contains(QLatin1String("Re:"))
               || ObjPop->MsgSubjectOrg().contains(QLatin1String("Re:"));
    };
    if (AutoReplyOn && myStatus_ != FirstCheck && isNew && !reply() && !(!id.isEmpty() && memory_.answered(id))) {
        const QString why = autoReplySkipped();
        if (why.isEmpty())
            return sendAutoReply(id);
        WriteLogLine(ServerName, QStringLiteral("No Auto Reply to ")
                                     + platform::ExtractAngleAddress(ObjPop->MsgFromOrg()) + QStringLiteral(": ")
                                     + why);
    }
    resumeListing();
}

void checkmailClass::resumeListing()
{
    if (!ObjPop)
        return;
    if (ObjPop->CurrentMessageNum() < ObjPop->MsgCount())
        ObjPop->RetrieveNext();
    else
        quitListed();
}

void checkmailClass::onMessageIn()
{
    toMailAddress_ = ObjPop->MsgTo();
    fromOrg_ = ObjPop->MsgFromOrg();
    sender_ = ObjPop->MsgFrom();
    senderCharset_ = ObjPop->MsgFromCharset();
    senderBytes_ = ObjPop->MsgFromByte();
    subject_ = ObjPop->MsgSubject();
    subjectCharset_ = ObjPop->MsgSubjectCharset();
    subjectBytes_ = ObjPop->MsgSubjectByte();
    charset_ = ObjPop->Charset();
    body_ = ObjPop->MsgContents();
    bodyBytes_ = ObjPop->MsgContentsByte();
    DisplayText = DisplayStringconv(body_, bodyBytes_, charset_);
    date_ = listDate(ObjPop->MsgSendDate(), monthNames_);
    readId_ = targetId_;
    readThread_ = threadIdsOf(ObjPop->MsgHeaders());
    readPosition_ = targetMessage_;
    placeholder_ = false;
    emit DebugPrint(QStringLiteral("Retrieve message %1").arg(ObjPop->CurrentMessageNum()));
    ObjPop->QuitServer();
}

void checkmailClass::onDeleted()
{
    // Deletions happen when the server confirms QUIT; until then the rows stay as they are.
    if (myStatus_ == DeleteOne)
        userDeleted_ = true;
    else if (knownAtFirstDelete_ < 0)
        knownAtFirstDelete_ = knownCount_;
    if (continueAfterDelete_) {
        continueAfterDelete_ = false;
        ObjPop->RetrieveNext();
    } else if (myStatus_ == DeleteOne) {
        ObjPop->QuitServer();
    } else {
        quitListed(); // the spam was the last message
    }
}

void checkmailClass::onSessionEnded()
{
    const bool failed = ObjPop->ErrNum() != 0;
    const QString server = ServerIdentity(ServerName, ServerPort);
    if (!ObjPop->RefusedFingerprint().isEmpty())
        refused_ = {server, ObjPop->RefusedFingerprint()};
    else if (refused_.server == server)
        refused_ = {};
    if (failed) {
        lastFailure_ = failureReason();
        setErrorMessage(QString::fromLatin1(kFetchFailed), ObjPop->ErrNum());
        emit DebugPrint(ObjPop->ErrDesc());
        undoDeletions();
        WriteLogLine(ServerName, lastFailure_);
    } else {
        emit DebugPrint(QStringLiteral("Quited"));
        if (userDeleted_) {
            // The row of the deleted message goes: found by its id, or at its position.
            int row = targetMessage_ - 1;
            for (int r = 0; !targetId_.isEmpty() && list_ && r < list_->rowCount(); ++r)
                if (idAtRow(r) == targetId_)
                    row = r;
            if (list_ && row >= 0 && row < list_->rowCount())
                list_->removeRow(row);
            --knownCount_;
            NewMailCount = 0;
        }
        if (listedToEnd_ && (myStatus_ == FirstCheck || myStatus_ == TimedCheck)) {
            firstListing_ = false;
            forgetGoneMail();
        }
    }
    saveMemory();
    ObjPop->disconnect(this);
    ObjPop->deleteLater();
    ObjPop = nullptr;
    continueAfterDelete_ = false;
    finish();
}

// The server keeps what it was asked to delete unless it confirmed QUIT. Rows listed after the
// first deletion stand at positions that are now wrong: they go, and the next check lists
// them again (as old mail) and looks at the spam again.
void checkmailClass::undoDeletions()
{
    if (knownAtFirstDelete_ < 0 || knownAtFirstDelete_ >= knownCount_) {
        knownAtFirstDelete_ = -1;
        return;
    }
    if (list_ && list_->rowCount() > knownAtFirstDelete_)
        list_->removeRows(knownAtFirstDelete_, list_->rowCount() - knownAtFirstDelete_);
    knownCount_ = knownAtFirstDelete_;
    knownAtFirstDelete_ = -1;
    emit DebugPrint(QStringLiteral("Deletions undone by the server; the mailbox is listed again from message %1")
                        .arg(knownCount_ + 1));
}

// After a whole listing the rows are the mailbox: ids of mail that left it are forgotten.
void checkmailClass::forgetGoneMail()
{
    if (!list_ || list_->rowCount() != knownCount_)
        return;
    QSet<QString> onServer;
    onServer.reserve(knownCount_);
    for (int row = 0; row < knownCount_; ++row) {
        const QString id = idAtRow(row);
        if (id.isEmpty())
            return; // a server without ids: nothing to go by
        onServer.insert(id);
    }
    memory_.keepOnly(onServer);
}

// The server as certificates are trusted for it: the name in lower case, and the port.
QString checkmailClass::ServerIdentity(const QString& host, int32_t port)
{
    return host.trimmed().toLower() + QLatin1Char(':') + QString::number(port);
}

QString checkmailClass::failureReason() const
{
    const QString server = ServerName + QLatin1Char(':') + QString::number(ServerPort);
    // The server's words on one line, without control characters.
    const auto oneLine = [](QString text) {
        for (QChar& c : text)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = QLatin1Char(' ');
        return text.simplified();
    };
    const QString said = oneLine(ObjPop->ServerReply());
    const QString desc = oneLine(ObjPop->ErrDesc());
    switch (ObjPop->ErrNum()) {
    case CPostOffice::kSecurityError: return desc;
    case CPostOffice::kTimeoutError:
        return QStringLiteral("%1 did not answer in time (POP3 Server Timeout)").arg(server);
    case 10061:
        return QStringLiteral("Cannot connect to %1: connection refused. Check the POP3 server and port.").arg(server);
    case 11001: return QStringLiteral("POP3 server %1 not found. Check the server name.").arg(ServerName);
    case CPostOffice::kProtocolError:
        if (said.isEmpty())
            return QStringLiteral("%1 check failed: %2").arg(server, desc);
        if (ObjPop->FailedStatus() == CPostOffice::UserSent || ObjPop->FailedStatus() == CPostOffice::PassSent)
            return QStringLiteral("%1 refused the sign-in: %2. Check the user name and password.").arg(server, said);
        return QStringLiteral("%1 refused a command: %2").arg(server, said);
    default: return QStringLiteral("Cannot reach %1: %2").arg(server, desc);
    }
}

void checkmailClass::finish()
{
    const int32_t mode = myStatus_;
    const bool deleted = mode == DeleteOne && userDeleted_ && lastFailure_.isEmpty();
    emit showListViewCount();
    emit CheckmailFinish(mode);
    killPop();
    if (mode == DeleteOne && menuDelete_) {
        menuDelete_ = false;
        if (audio_ && audio_->getStatus() == telephony::ClsAudioControl::ReadingPieces) {
            if (deleted && readIndex_ > 1)
                --readIndex_; // "3" reads the message that followed
            say(deleted ? QStringLiteral(" message deleted") : QStringLiteral(" message not deleted"));
        }
    }
    QMetaObject::invokeMethod(this, &checkmailClass::runWaitingRequest, Qt::QueuedConnection);
}

void checkmailClass::addListItem(const QString& sender, const QString& subject, const QString& date,
                                 const QString& file, const QString& id, bool isNew)
{
    if (isNew) {
        ++NewMailCount;
        ++newMailFound_;
        if (newMail_.size() < kNewMailKept)
            newMail_.append({sender, subject});
    }
    ++knownCount_;
    // The note is put together only for a listener: a big mailbox lists thousands of rows.
    if (isSignalConnected(QMetaMethod::fromSignal(&checkmailClass::DebugPrint)))
        emit DebugPrint(QStringLiteral("Add ") + QString::number(knownCount_));
    if (list_)
        list_->append({sender, subject, date, file, id});
}

QString checkmailClass::idAtRow(int row) const
{
    if (!list_ || row < 0 || row >= list_->rowCount())
        return QString();
    return list_->at(row).id;
}

void checkmailClass::clearList()
{
    if (list_)
        list_->removeRows(0, list_->rowCount());
}

void checkmailClass::setErrorMessage(const QString& text, int16_t number)
{
    LastErrorNumber = number;
    sender_ = fromOrg_ = QStringLiteral("korvalen");
    senderBytes_ = systemBytes(sender_);
    senderCharset_ = 1;
    subject_ = text;
    subjectBytes_ = systemBytes(text);
    subjectCharset_ = 1;
    body_ = QStringLiteral(". ");
    bodyBytes_ = systemBytes(body_);
    charset_ = 1;
    DisplayText = text;
    placeholder_ = true;
}

bool checkmailClass::isSpam() const
{
    if (!host_)
        return false;
    // The sender list holds addresses: look in the display name and in the raw From value.
    const QStringList senders = host_->spamSenders();
    return spam::Matches(ObjPop->MsgSubject(), host_->spamSubjects()) || spam::Matches(ObjPop->MsgFrom(), senders)
           || spam::Matches(ObjPop->MsgFromOrg(), senders);
}
