// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the simulated telephone: it drives the voice menu on the sound
// card; a dictated reply is written into the console's compose page.
#include "app/frmSet.h"

#include "app/LocalizedTexts.h"
#include "app/frmSimPhone.h"
#include "console/Pilot.h"
#include "mail/ReplyForm.h"
#include "platform/ProgramWide.h"
#include "platform/Utilities.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include "mail/MailList.h"
#include <QTreeView>

using telephony::ClsAudioControl;

frmSimPhone* frmSet::simPhone()
{
    if (!simPhone_) {
        simPhone_ = std::make_unique<frmSimPhone>(*this);
        simPhone_->ApplyTexts(LanguageLetter(platform::Globals().lcid));
    }
    return simPhone_.get();
}

// A dictated character goes into the compose page and is said back to the caller.
void frmSet::Mailobj_DisplayDigitInput(const QString& key)
{
    const QString spoken = console()->applyDictatedKey(key);
    if (!spoken.isEmpty() && ObjAudio)
        ObjAudio->RepeatedlySay(1, spoken);
}

// The reply button: the compose page, addressed to the sender of the message read last.
void frmSet::replyToSelected()
{
    if (!MailObj || !ListView1->currentIndex().isValid() || MailObj->FetchedFrom().isEmpty())
        return;
    Pilot* pilot = console();
    pilot->txtToEmailAddress->setText(platform::ExtractAngleAddress(MailObj->FetchedFrom()));
    if (pilot->txtFromEmailAddress->text().isEmpty())
        pilot->txtFromEmailAddress->setText(platform::ExtractAngleAddress(MailObj->FetchedTo()));
    pilot->showCompose();
}

bool frmSet::simAvailable() const
{
    return ObjAudio && MailObj && ObjAudio->getStatus() == ClsAudioControl::Idle
           && MailObj->Mode() == MailEngineLink::Idle;
}

// The handset is lifted: the menu speaks on the sound card and starts past the PIN, which the
// telephone sends key by key.
void frmSet::simphone_IncomingPhone()
{
    if (!MailObj || !ObjAudio)
        return;
    setPanelText(1, LocalText("Main", "SimConnected", "Sim Connected.."));
    if (settingsVoice)
        ObjAudio->setVoiceEng(settingsVoice.get());
    ObjAudio->simPhoneConnected(0);
    MailObj->CallStarted(false, Pin->text());
    for (QChar key : Pin->text())
        MailObj->DigitReceived(QString(key));
    MailObj->DigitReceived(QStringLiteral("#"));
}

void frmSet::simPhoneHangUp()
{
    if (!ObjAudio)
        return;
    ObjAudio->ResetPlay();
    if (ObjAudio->getStatus() != ClsAudioControl::Idle)
        ObjAudio->Vhangup();
}

void frmSet::simphone_listAll(bool todayOnly)
{
    if (!MailObj || !ObjAudio || listModel->rowCount() == 0) {
        if (simPhone_)
            simPhone_->ReadingFinished();
        return;
    }
    if (settingsVoice)
        ObjAudio->setVoiceEng(settingsVoice.get());
    ObjAudio->ListPhoneConnected(0);
    Sounddevice = 0;
    selectMessage(0);
    MailObj->ListAll(1, todayOnly);
}

void frmSet::SimPhoneButton(int keyIndex)
{
    const QString key = frmSimPhone::KeyText(keyIndex);
    if (MailObj && !key.isEmpty())
        MailObj->DigitReceived(key);
}

QString frmSet::helpPage() const
{
    return QString();
}

void frmSet::simPhoneEnded()
{
    if (simPhone_)
        simPhone_->EndedByProgram();
}

void frmSet::simPhoneReadingEnded()
{
    if (simPhone_)
        simPhone_->ReadingFinished();
}
