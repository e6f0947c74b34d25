// Spam, automatic replies, sending mail and the log.
#include "mail/checkmailClass.h"

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
#include "protocols/cSmtp.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cmath>

void checkmailClass::sendAutoReply()
{
    const QString to = platform::ExtractAngleAddress(ObjPop->MsgFromOrg());
    const QString from = platform::ExtractAngleAddress(ObjPop->MsgTo());
    SendMail(to, from, QStringLiteral("Re:") + ObjPop->MsgSubject(), host_ ? host_->replyText() : QString());
    WriteLogLine(ServerName, QStringLiteral("Auto Reply to ") + to);
    // The listing goes on when the SMTP client closes.
}

void checkmailClass::SendMail(const QString& to, const QString& from, const QString& subject,
                              const QString& body)
{
    emit DebugPrint(QStringLiteral("Auto Reply E-mail"));
    if (ObjSmtp) {
        ObjSmtp->disconnect(this);
        ObjSmtp->deleteLater();
    }
    ObjSmtp = new cSmtp(this);
    connect(ObjSmtp, &cSmtp::Sending, this, &checkmailClass::ObjSmtp_Sending);
    connect(ObjSmtp, &cSmtp::ServerClose, this, &checkmailClass::ObjSmtp_ServerClose);
    ObjSmtp->setWsock(smtpSocket_);
    ObjSmtp->setWtimeout(smtpTimer_);
    ObjSmtp->SMTPPort = host_ ? host_->smtpPort() : 25;
    ObjSmtp->SendTo = to;
    ObjSmtp->MailFrom = from;
    ObjSmtp->Server = host_ ? host_->smtpServer() : QString();
    ObjSmtp->MessageText = body;
    ObjSmtp->MessageSubject = subject;
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
        ObjSmtp->disconnect(this);
        ObjSmtp->deleteLater();
        ObjSmtp = nullptr;
    }
    resumeListing();
}

void checkmailClass::WriteLogLine(const QString& name, const QString& text)
{
    emit DebugPrint(text);
    QCoreApplication::processEvents();

    // The log pauses two seconds while events go on; counted in seconds since midnight so
    // that it survives midnight. Real time ends it too, should the clock stand still.
    platform::Clock& clock = platform::AppClock();
    const double start = clock.secondsSinceMidnight();
    QElapsedTimer real;
    real.start();
    while (PauseAfterLog && std::llround(clock.secondsSinceMidnight() - start + 86400) % 86400 < 2
           && real.elapsed() < 2500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }

    if (!writeLog_)
        return;
    platform::AppendLogRecord(QString::fromLatin1(kLogPrefix), name, text); // a convenience; the check goes on
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
