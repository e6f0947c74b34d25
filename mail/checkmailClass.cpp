#include "mail/checkmailClass.h"

#include "mail/MailHost.h"
#include "mail/SpamList.h"
#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/CPostOffice.h"
#include "protocols/cSmtp.h"
#include "telephony/ClsAudioControl.h"

#include <QLocale>
#include <QStandardItemModel>

namespace {

QByteArray systemBytes(const QString& text)
{
    return platform::TextToBytes(text, platform::SystemAnsiCodePage()).bytes;
}

// "mmm d yyyy", as the mailbox list shows dates.
QString listDate(const QDate& date)
{
    if (!date.isValid())
        return QStringLiteral("Jan 1 9999");
    return QStringLiteral("%1 %2 %3")
        .arg(QLocale::system().monthName(date.month(), QLocale::ShortFormat))
        .arg(date.day())
        .arg(date.year());
}

} // namespace

checkmailClass::checkmailClass(QObject* parent)
    : QObject(parent)
{
    // Four Chinese characters that a single-byte code page cannot hold.
    singleByteSystem_ = systemBytes(QString::fromUtf8("廣東閱讀")).size() == 4;
}

checkmailClass::~checkmailClass()
{
    delete ObjPop;
    delete ObjSmtp;
}

void checkmailClass::setHost(MailHost* host) { host_ = host; }
void checkmailClass::SetAudioControl(telephony::ClsAudioControl* control) { audio_ = control; }
void checkmailClass::Popsock(QTcpSocket* socket) { popSocket_ = socket; }
void checkmailClass::setPOPTimerControl(QTimer* timer) { popTimer_ = timer; }
void checkmailClass::SMTPsock(QTcpSocket* socket) { smtpSocket_ = socket; }
void checkmailClass::setSMTPTimerControl(QTimer* timer) { smtpTimer_ = timer; }
void checkmailClass::setListView(QStandardItemModel* list) { list_ = list; }
void checkmailClass::writelog(bool on) { writeLog_ = on; }
void checkmailClass::allowdelete(bool) {}

void checkmailClass::CheckMail(int32_t kind)
{
    myStatus_ = kind;
    emit CheckmailStart();
    if (kind == FirstCheck)
        PhoneReady = true;
    startSession();
}

void checkmailClass::RetrieveMailInServer(int16_t n)
{
    myStatus_ = FetchOne;
    targetMessage_ = n;
    NewMailCount = 0;
    if (ObjPop)
        return;
    emit CheckmailStart();
    startSession();
}

void checkmailClass::DelMailInServer(int16_t n)
{
    myStatus_ = DeleteOne;
    targetMessage_ = n;
    emit CheckmailStart();
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
    if (!host_ || !host_->signedIn())
        return;
    if (UserName.isEmpty() || Password.isEmpty() || ServerName.isEmpty())
        return finish();
    emit DebugPrint(QStringLiteral("Check User : ") + UserName);
    if (ObjPop)
        return;
    ObjPop = new CPostOffice(this);
    connect(ObjPop, &CPostOffice::POPStatus, this, &checkmailClass::ObjPop_POPStatus);
    connect(ObjPop, &CPostOffice::DebugPrint, this, &checkmailClass::DebugPrint);
    ObjPop->setTimerControl(popTimer_);
    ObjPop->Winsock(popSocket_);
    ObjPop->setWriteLog(writeLog_);
    ObjPop->POPHostname(ServerName);
    ObjPop->POPUserName = UserName;
    ObjPop->POPPassword = Password;
    ObjPop->POPPort(uint16_t(ServerPort));
    ObjPop->TimeoutCount = PopTimeoutTicks;
    ObjPop->Connect();
}

void checkmailClass::ObjPop_POPStatus()
{
    if (!ObjPop)
        return;
    switch (ObjPop->status()) {
    case CPostOffice::StatSent:
    case CPostOffice::UidlSent: onCountKnown(); break;
    case CPostOffice::TopSent:  onHeadersIn(); break;
    case CPostOffice::RetrSent: onMessageIn(); break;
    case CPostOffice::DeleSent: onDeleted(); break;
    case CPostOffice::Closed:   onSessionEnded(); break;
    default: break;
    }
}

void checkmailClass::onCountKnown()
{
    const int count = ObjPop->MsgCount();
    switch (myStatus_) {
    case DeleteOne:
        if (count >= targetMessage_)
            ObjPop->DeleteMsgNum(targetMessage_);
        else
            ObjPop->QuitServer();
        break;
    case FetchOne:
        if (count >= targetMessage_) {
            ObjPop->RetrieveMsgNum(targetMessage_);
        } else {
            setErrorMessage(QString::fromLatin1(kFetchFailed), CPostOffice::kProtocolError);
            ObjPop->QuitServer();
        }
        break;
    case FirstCheck:
    case TimedCheck:
        if (count == knownCount_) {
            ObjPop->QuitServer();
        } else if (count == 0) {
            ResetMailCount(0);
            clearList();
            ObjPop->QuitServer();
        } else if (count < knownCount_) {
            // Messages were removed elsewhere: list the whole mailbox again.
            ResetMailCount(0);
            clearList();
            ObjPop->SetCurrentMsg(1);
        } else {
            WriteLogLine(ServerName, QStringLiteral(" You have %1 Messages in mailbox").arg(count));
            if (ObjPop)
                ObjPop->SetCurrentMsg(int16_t(knownCount_ + 1));
        }
        break;
    default:
        break;
    }
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
    addListItem(DisplayStringconv(ObjPop->MsgFrom(), ObjPop->MsgFromByte(), ObjPop->MsgFromCharset()),
                DisplayStringconv(ObjPop->MsgSubject(), ObjPop->MsgSubjectByte(), ObjPop->MsgSubjectCharset()),
                listDate(ObjPop->MsgSendDate()), QStringLiteral("InServer"));

    // A reply is never answered: neither the decoded nor the received subject may hold "Re:".
    const bool reply = ObjPop->MsgSubject().contains(QLatin1String("Re:"))
                    || ObjPop->MsgSubjectOrg().contains(QLatin1String("Re:"));
    if (AutoReplyOn && myStatus_ != FirstCheck && !reply)
        return sendAutoReply();
    resumeListing();
}

void checkmailClass::resumeListing()
{
    if (!ObjPop)
        return;
    if (ObjPop->CurrentMessageNum() < ObjPop->MsgCount())
        ObjPop->RetrieveNext();
    else
        ObjPop->QuitServer();
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
    emit DebugPrint(QStringLiteral("Retrieve message %1").arg(ObjPop->CurrentMessageNum()));
    ObjPop->QuitServer();
}

void checkmailClass::onDeleted()
{
    // Only a message the user deleted was in the list; spam never was.
    if (myStatus_ == DeleteOne) {
        --knownCount_;
        NewMailCount = 0;
    }
    if (continueAfterDelete_) {
        continueAfterDelete_ = false;
        ObjPop->RetrieveNext();
    } else {
        ObjPop->QuitServer();
    }
}

void checkmailClass::onSessionEnded()
{
    if (ObjPop->ErrNum() != 0) {
        setErrorMessage(QString::fromLatin1(kFetchFailed), ObjPop->ErrNum());
        emit DebugPrint(ObjPop->ErrDesc());
    } else {
        emit DebugPrint(QStringLiteral("Quited"));
    }
    ObjPop->disconnect(this);
    ObjPop->deleteLater();
    ObjPop = nullptr;
    continueAfterDelete_ = false;
    finish();
}

void checkmailClass::finish()
{
    emit showListViewCount();
    emit CheckmailFinish(myStatus_);
    killPop();
}

void checkmailClass::addListItem(const QString& sender, const QString& subject,
                                 const QString& date, const QString& file)
{
    if (myStatus_ != FirstCheck)
        ++NewMailCount;
    ++knownCount_;
    emit DebugPrint(QStringLiteral("Add %1").arg(knownCount_));
    if (list_) {
        QList<QStandardItem*> row;
        for (const QString& column : {sender, subject, date, file})
            row.append(new QStandardItem(column));
        list_->appendRow(row);
    }
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
}

bool checkmailClass::isSpam() const
{
    if (!host_)
        return false;
    // The sender list holds addresses: look in the display name and in the raw From value.
    const QStringList senders = host_->spamSenders();
    return spam::Matches(ObjPop->MsgSubject(), host_->spamSubjects())
        || spam::Matches(ObjPop->MsgFrom(), senders)
        || spam::Matches(ObjPop->MsgFromOrg(), senders);
}
