// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MailEngine.h"

#include "mail/MailHost.h"

void MailEngine::Init(const EngineSettings& s)
{
    engine_.PhoneNumber = s.phoneNumber;
    engine_.PinCode = s.pin;
    engine_.AutoReplyOn = s.autoReply;
    engine_.AutoReplyDays = s.autoReplyDays;
    engine_.writelog(s.logging);
    engine_.PhoneOn = s.telephone;
    engine_.RepeatCount = int16_t(s.repeatCount);
    engine_.PopTimeoutTicks = int16_t(s.constant40);
    engine_.AlertThreshold = int16_t(s.newMailThreshold);
    engine_.UserName = s.popUser;
    engine_.Password = s.popPassword;
    engine_.ServerName = s.popServer;
    engine_.ServerPort = s.popPort;
    engine_.ServerSecurity = s.popSecurity;
    engine_.VoiceIndex = int16_t(s.voiceIndex);
}

void MailEngine::Attach(MailHost& host, MailEngineEvents& events, const MailControlsLent& c)
{
    engine_.setHost(&host);
    engine_.SetAudioControl(c.audio);
    engine_.Popsock(c.popSocket);
    engine_.setPOPTimerControl(c.popTimer);
    engine_.SMTPsock(c.smtpSocket);
    engine_.setSMTPTimerControl(c.smtpTimer);
    engine_.setListView(c.list);
    MailEngineEvents* e = &events;
    QObject::connect(&engine_, &checkmailClass::CheckmailStart, [e] { e->MailObj_CheckmailStart(); });
    QObject::connect(&engine_, &checkmailClass::CheckmailFinish,
                     [e](int32_t mode) { e->MailObj_CheckmailFinish(mode); });
    QObject::connect(&engine_, &checkmailClass::showListViewCount, [e] { e->mailobj_showListViewCount(); });
    QObject::connect(&engine_, &checkmailClass::DisplayEMessage, [e](const QString& t) { e->showMess(t); });
    QObject::connect(&engine_, &checkmailClass::PhoneCall, [e] { e->MailObj_PhoneCall(); });
    QObject::connect(&engine_, &checkmailClass::ChangeVoiceEngine, [e](int32_t l) { e->MailObj_ChangeVoiceEngine(l); });
    QObject::connect(&engine_, &checkmailClass::ChangeVoiceLanguage,
                     [e](int32_t l) { e->MailObj_ChangeVoiceLanguage(l); });
    QObject::connect(&engine_, &checkmailClass::DisplayDigitInput,
                     [e](const QString& k) { e->Mailobj_DisplayDigitInput(k); });
    QObject::connect(&engine_, &checkmailClass::EnDePhoneCall, [e](bool on) { e->MailObj_EnDePhoneCall(on); });
}

void MailEngine::CallStarted(bool lineCall, const QString& pin)
{
    engine_.PinCode = pin;
    engine_.CallStarted(lineCall);
}

void MailEngine::ListAll(int n, bool todayOnly)
{
    engine_.TodayOnly = todayOnly;
    engine_.listAll(int16_t(n));
}

QList<NewMailItem> MailEngine::NewMailListed() const
{
    QList<NewMailItem> out;
    for (const checkmailClass::NewMail& m : engine_.NewMailListed())
        out.append({m.sender, m.subject});
    return out;
}
