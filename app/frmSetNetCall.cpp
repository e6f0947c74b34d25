// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the internet call: the form is loaded hidden at start-up, and a
// call it forwards is served by the voice menu with speech going into the call.
#include "app/frmSet.h"

#include "app/SettingKeys.h"
#include "console/frmSoundRec.h"
#include "platform/SettingsStore.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"

#include <QCheckBox>

#include <QLineEdit>

using telephony::ClsAudioControl;

frmSoundRec* frmSet::soundRec()
{
    if (!soundRec_) {
        soundRec_ = std::make_unique<frmSoundRec>();
        soundRec_->setHost(this);
        bool ok = false;
        const int port =
            store_.GetSetting(QStringLiteral("port"), QString::number(frmSoundRec::kDefaultPort)).toInt(&ok);
        soundRec_->SetPort(ok ? port : frmSoundRec::kDefaultPort);
        // Whether unanswered calls go to the voice menu is kept between runs.
        constexpr int kForwardAfterRings = 3;
        soundRec_->SetForwardAfterRings(keys::Read(store_, keys::VOIPForward) == QLatin1String("1") ? kForwardAfterRings
                                                                                                    : 0);
        connect(soundRec_->chkForward, &QCheckBox::toggled, this, [this](bool on) {
            if (!store_.SaveSetting(QString::fromLatin1(keys::VOIPForward.name),
                                    on ? QStringLiteral("1") : QStringLiteral("0")))
                reportProblem(store_.lastError());
        });
    }
    return soundRec_.get();
}

// The caller is with the menu: it starts at the PIN prompt, speaking into the call.
void frmSet::NetCallConnected(int32_t device)
{
    if (ObjAudio)
        ObjAudio->netPhoneConnected(device);
}

void frmSet::DigitReceived(const QString& key)
{
    if (MailObj && ObjAudio && ObjAudio->getPhoneMode() == ClsAudioControl::NetPhone
        && ObjAudio->getStatus() != ClsAudioControl::Idle)
        MailObj->DigitReceived(key);
}

// The caller went: the menu's call ends as a hung-up simulated call does.
void frmSet::NetCallEnded()
{
    if (!ObjAudio || ObjAudio->getPhoneMode() != ClsAudioControl::NetPhone
        || ObjAudio->getStatus() == ClsAudioControl::Idle)
        return;
    ObjAudio->ResetPlay();
    if (ObjAudio->getStatus() != ClsAudioControl::Idle)
        ObjAudio->Vhangup();
}

// The menu hung up (or the caller did): the voices speak on the sound card again, and the
// form ends the call once the last words have gone out.
void frmSet::netCallMenuEnded()
{
    for (platform::SpeechVoice* voice : {defaultVoice.get(), chineseVoice.get()})
        if (voice)
            voice->setAudioOutputStream(std::nullopt);
    if (soundRec_)
        soundRec_->VoiceMenuEnded();
}

// A message fetched for the caller is read to them, and its text goes to their screen.
void frmSet::netCallMessageFetched()
{
    if (!MailObj)
        return;
    MailObj->ReadFetchedMessage();
    if (soundRec_)
        soundRec_->MessageRetrieved(MailObj->FetchedText());
}
