// SPDX-License-Identifier: GPL-3.0-or-later
// Spam, automatic replies, sending mail and the log.
#include "mail/checkmailClass.h"

#include "mail/AutoReplyRules.h"
#include "mail/MailHost.h"
#include "platform/LogFile.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/SystemLocale.h"
#include "platform/Utilities.h"
#include "protocols/CPostOffice.h"
#include "protocols/ClsBIG2GB.h"
#include "protocols/HeaderField.h"
#include "protocols/cSmtp.h"
#include "telephony/ClsAudioControl.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cmath>

checkmailClass::ThreadIds checkmailClass::threadIdsOf(const QString& headers)
{
    return {HeaderField(headers, u"Message-ID"), HeaderField(headers, u"References"),
            HeaderField(headers, u"In-Reply-To")};
}

// Why the message just listed gets no automatic reply, or an empty text when it gets one.
QString checkmailClass::autoReplySkipped() const
{
    const QString to = platform::ExtractAngleAddress(ObjPop->MsgFromOrg());
    const QString why = autoreply::SkipReason(ObjPop->MsgHeaders(), to);
    if (!why.isEmpty())
        return why;
    if (senders_.answeredWithin(to, AutoReplyDays, platform::AppClock().msecsSinceEpoch()))
        return QStringLiteral("the sender had an automatic reply in the last %1 days").arg(AutoReplyDays);
    return QString();
}

void checkmailClass::sendAutoReply(const QString& id)
{
    const QString to = platform::ExtractAngleAddress(ObjPop->MsgFromOrg());
    const QString from = platform::ExtractAngleAddress(ObjPop->MsgTo());
    // Remembered before it goes: whatever happens to this session, the mail is answered once.
    if (!memory_.markAnswered(id))
        emit DebugPrint(QStringLiteral("Cannot write ") + memory_.filePath());
    if (!senders_.markAnswered(to, platform::AppClock().msecsSinceEpoch()))
        emit DebugPrint(QStringLiteral("Cannot write ") + senders_.filePath());
    // The server waits for our own send: its silence meanwhile is not a time-out.
    ObjPop->StopTimeout();
    replyWait_ = {ObjPop, false, false};
    queueSend({to, from, QStringLiteral("Re:") + ObjPop->MsgSubject(), host_ ? host_->replyText() : QString(),
               PendingSend::Auto, threadIdsOf(ObjPop->MsgHeaders())});
    WriteLogLine(ServerName, QStringLiteral("Auto Reply to ") + to, [this] {
        replyWait_.pauseOver = true;
        resumeAfterReply();
    });
}

// The listing goes on once the send has closed and the log has paused, and only in the
// session that sent the reply.
void checkmailClass::resumeAfterReply()
{
    if (!replyWait_.session || !replyWait_.sendClosed || !replyWait_.pauseOver)
        return;
    const bool same = replyWait_.session == ObjPop;
    replyWait_ = {};
    if (same)
        resumeListing();
}

void checkmailClass::SendMail(const QString& to, const QString& from, const QString& subject, const QString& body)
{
    queueSend({to, from, subject, body, PendingSend::Other, {}});
}

void checkmailClass::queueSend(const PendingSend& send)
{
    if (ObjSmtp) // one send at a time: the next waits for this one's close
        return pendingSends_.append(send);
    startSend(send);
}

void checkmailClass::startSend(const PendingSend& send)
{
    emit DebugPrint(QStringLiteral("Auto Reply E-mail"));
    sendKind_ = send.kind;
    ObjSmtp = new cSmtp(this);
    connect(ObjSmtp, &cSmtp::Sending, this, &checkmailClass::ObjSmtp_Sending);
    connect(ObjSmtp, &cSmtp::ServerClose, this, &checkmailClass::ObjSmtp_ServerClose);
    if (!smtpSocket_ && makeSmtpSocket_)
        smtpSocket_ = makeSmtpSocket_();
    ObjSmtp->setWsock(smtpSocket_);
    ObjSmtp->setWtimeout(smtpTimer_);
    ObjSmtp->SMTPPort = host_ ? host_->smtpPort() : 25;
    ObjSmtp->SendTo = send.to;
    ObjSmtp->MailFrom = send.from;
    ObjSmtp->Server = host_ ? host_->smtpServer() : QString();
    if (host_) {
        ObjSmtp->Security = host_->smtpSecurity();
        ObjSmtp->UserName = host_->smtpUser();
        ObjSmtp->Password = host_->smtpPassword();
        ObjSmtp->TrustedFingerprint(host_->trustedCertificate(ServerIdentity(ObjSmtp->Server, ObjSmtp->SMTPPort)));
    }
    ObjSmtp->MessageText = send.body;
    ObjSmtp->MessageSubject = send.subject;
    ObjSmtp->RepliedMessageID = send.answered.messageId;
    ObjSmtp->RepliedReferences = send.answered.references;
    ObjSmtp->RepliedInReplyTo = send.answered.inReplyTo;
    ObjSmtp->AutoReplied = send.kind == PendingSend::Auto;
    ObjSmtp->Connect(0, QString());
}

void checkmailClass::ObjSmtp_Sending()
{
    emit DebugPrint(QStringLiteral("Sending Email"));
}

void checkmailClass::ObjSmtp_ServerClose(int16_t code)
{
    switch (code) {
    case cSmtp::TimedOut:
    case cSmtp::NetworkError: emit DebugPrint(QStringLiteral("Network Error")); break;
    case cSmtp::NotDelivered: emit DebugPrint(QStringLiteral("Fail Send E-mail")); break;
    case cSmtp::Delivered:
    case cSmtp::ServerClosed: emit DebugPrint(QStringLiteral("E-mail Send Complete")); break;
    default: break;
    }
    if (ObjSmtp) {
        if (!ObjSmtp->ErrorText().isEmpty())
            emit DebugPrint(ObjSmtp->ErrorText());
        const QString server = ServerIdentity(ObjSmtp->Server, ObjSmtp->SMTPPort);
        if (!ObjSmtp->RefusedFingerprint().isEmpty())
            refused_ = {server, ObjSmtp->RefusedFingerprint()};
        else if (refused_.server == server)
            refused_ = {};
        ObjSmtp->disconnect(this);
        ObjSmtp->deleteLater();
        ObjSmtp = nullptr;
    }
    const auto closed = sendKind_;
    if (!pendingSends_.isEmpty())
        startSend(pendingSends_.takeFirst());
    // Only the caller's own reply is spoken of, and only as it went.
    if (closed == PendingSend::Dictated) {
        dictatedSend_ = false;
        if (audio_ && audio_->getStatus() != telephony::ClsAudioControl::Idle) { // a caller is on the line
            const bool sent = code == cSmtp::Delivered || code == cSmtp::ServerClosed;
            audio_->ChangeStatus(telephony::ClsAudioControl::MenuRepeating);
            audio_->RepeatedlySay(1,
                                  sent ? QStringLiteral(" E mail send complete") : QStringLiteral(" Fail Send E-mail"));
        }
    } else if (closed == PendingSend::Auto) {
        replyWait_.sendClosed = true;
        resumeAfterReply();
    }
}

int16_t checkmailClass::AlertUser()
{
    if (PhoneOn)
        return ringUser();
    if (host_ && host_->spokenCaptions())
        ButtonSpeak(AlertText);
    return 0;
}

int16_t checkmailClass::ringUser()
{
    if (!audio_ || audio_->getStatus() != telephony::ClsAudioControl::Idle)
        return 0; // a call is already on the line
    AlertAnswered = false;
    const QString text = QStringLiteral(" You have total %1 new message.").arg(NewMailCount);
    const bool placed = audio_->Make_callnow(PhoneNumber, RepeatCount, text);
    if (placed) {
        emit PhoneCall();
        WriteLogLine(QStringLiteral("Phone"), QStringLiteral("Calling ") + PhoneNumber);
    } else {
        WriteLogLine(QStringLiteral("Phone"), QStringLiteral("Error, Please check Line & Hardware "));
    }
    return placed ? -1 : 0;
}

// On a Chinese system the captions are Chinese: spoken by the Chinese voice, run by run.
void checkmailClass::ButtonSpeak(const QString& text)
{
    if (text.isEmpty() || !audio_)
        return;
    audio_->ChangeStatus(telephony::ClsAudioControl::Idle);
    const int lcid = platform::Globals().lcid;
    if (lcid == platform::kLcidSimplifiedChinese)
        TTSText(text);
    else if (lcid == platform::kLcidTraditionalChinese)
        TTSText(CodeConvert(text, 3)); // the Chinese voice reads the simplified forms
    else
        audio_->RepeatedlySay(1, text);
}

void checkmailClass::WriteLogLine(const QString& name, const QString& text, std::function<void()> then)
{
    emit DebugPrint(text);
    if (writeLog_) // a convenience; the check goes on whatever the file does
        platform::AppendLogRecord(QString::fromLatin1(kLogPrefix), name, text);
    if (!then)
        return;
    if (!PauseAfterLog)
        return then();
    logPauses_.append(
        {platform::AppClock().secondsSinceMidnight(), QDateTime::currentMSecsSinceEpoch(), std::move(then)});
    if (!logPauseTimer_.isActive())
        logPauseTimer_.start();
}

// The pause is counted in seconds since midnight, so that it survives midnight; real time ends
// it too, should the clock stand still.
void checkmailClass::onLogPauseTick()
{
    const double now = platform::AppClock().secondsSinceMidnight();
    const qint64 realNow = QDateTime::currentMSecsSinceEpoch();
    QList<std::function<void()>> due;
    for (auto it = logPauses_.begin(); it != logPauses_.end();) {
        const bool over = std::llround(now - it->start + 86400) % 86400 >= kLogPauseSeconds
                          || realNow - it->realStart >= kLogPauseSeconds * 1000 + 500;
        if (over) {
            due.append(std::move(it->then));
            it = logPauses_.erase(it);
        } else {
            ++it;
        }
    }
    if (logPauses_.isEmpty())
        logPauseTimer_.stop();
    for (const auto& then : due)
        then();
}

QString checkmailClass::CodeConvert(const QString& text, int target)
{
    const ClsBIG2GB converter;
    return target == 2 ? converter.GB2BIG(text) : converter.BIG2GB(text);
}

QByteArray checkmailClass::ByteConvert(const QByteArray& bytes, int target)
{
    const ClsBIG2GB converter;
    return target == 2 ? converter.GB2BIGByte(bytes) : converter.BIG2GBByte(bytes);
}

QString checkmailClass::DisplayStringconv(const QString& text, const QByteArray& bytes, int32_t charset) const
{
    const int lcid = platform::Globals().lcid;
    const bool toBig5 = lcid == platform::kLcidTraditionalChinese && charset == 3;
    const bool toGb = lcid == platform::kLcidSimplifiedChinese && charset == 2;
    if (!toBig5 && !toGb)
        return text;
    if (!singleByteSystem_)
        return CodeConvert(text, toBig5 ? 2 : 3);
    return platform::BytesToText(ByteConvert(bytes, toBig5 ? 2 : 3), toBig5 ? 950 : 936).text;
}
