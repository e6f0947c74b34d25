// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the telephone: the modem list and buttons, and the call
// controller's events (voices to the line and back, the countdown around a call).
#include "app/frmSet.h"

#include "app/SettingKeys.h"

#include "platform/ProgramWide.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"
#include "platform/telephone/VoiceModem.h"
#include "telephony/FrmModem.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

using platform::Globals;
using telephony::ClsAudioControl;

void frmSet::connectCallController()
{
    ObjAudio->ModemPhone(FrmModem_.get());
    ObjAudio->timercontrol(VoiceTimeout);
    ObjAudio->setHost(this);
    connect(ObjAudio.get(), &ClsAudioControl::IncomingPhone, this, &frmSet::ObjAudio_IncomingPhone);
    connect(ObjAudio.get(), &ClsAudioControl::SpeakStart, this, &frmSet::ObjAudio_SpeakStart);
    connect(ObjAudio.get(), &ClsAudioControl::SpeakEnd, this, &frmSet::ObjAudio_SpeakEnd);
    connect(ObjAudio.get(), &ClsAudioControl::Viseme, this, &frmSet::ObjAudio_Viseme);
    connect(ObjAudio.get(), &ClsAudioControl::DigitReceived, this, &frmSet::ObjAudio_DigitReceived);
    connect(ObjAudio.get(), &ClsAudioControl::VoiceConnected, this, &frmSet::ObjAudio_VoiceConnected);
    connect(ObjAudio.get(), &ClsAudioControl::VoiceDisCon, this, &frmSet::ObjAudio_VoiceDisCon);
    connect(ObjAudio.get(), &ClsAudioControl::SpeakRemain, this, &frmSet::ObjAudio_SpeakRemain);
    // What the open line says of itself (registered, refused and why) shows beside the modem.
    connect(FrmModem_.get(), &telephony::FrmModem::LineChanged, this, [this](platform::VoiceModem* line) {
        disconnect(lineStatus_);
        disconnect(lineError_);
        if (!line)
            return;
        lineStatus_ = connect(line, &platform::VoiceModem::LineStatus, this,
                              [this](const QString& text) { setPanelText(1, text); });
        lineError_ = connect(line, &platform::VoiceModem::Error, this,
                             [this](int32_t, const QString& text) { setPanelText(1, text); });
    });
}

// The countdown is off while a check or a call runs. Whichever starts while the other holds it
// off takes over the other's remembered state, and only the last one to end puts it back.
void frmSet::holdCountdownForCall()
{
    callCountdownState_ = checkHolding_ ? checkCountdownState_ : CheckMailTimer->isActive();
    callHolding_ = true;
    CheckMailTimer->stop();
}

void frmSet::restoreCountdown(bool& holding, bool state, bool otherHolding)
{
    holding = false;
    if (otherHolding)
        return; // the other one puts it back when it ends
    if (state)
        CheckMailTimer->start();
    else
        CheckMailTimer->stop();
}

void frmSet::MailObj_PhoneCall()
{
    if (ConsoleLink* console = Console())
        console->EnableMenu(false);
    EnableSettingPages(false);
    holdCountdownForCall();
    phoneCallPending_ = true;
}

// A caller is answered only while the engine is ready for one and the user is signed in.
bool frmSet::mayAnswer() const
{
    return MailObj && MailObj->PhoneReady() && signedIn();
}

void frmSet::showCallStatus(const QString& text)
{
    setPanelText(1, text);
}

// A call is being taken: the voice menu starts at the PIN, with nothing of an earlier call.
void frmSet::ObjAudio_IncomingPhone()
{
    if (MailObj)
        MailObj->CallStarted(ObjAudio->getPhoneMode() == ClsAudioControl::ModemLine
                                 || ObjAudio->getPhoneMode() == ClsAudioControl::NetPhone,
                             Pin->text());
}

// The spoken run has ended and more of the text remains.
void frmSet::ObjAudio_SpeakRemain()
{
    if (MailObj)
        MailObj->SpeakRemaining();
}

void frmSet::ObjAudio_SpeakStart()
{
    ButtonAccount[9]->show();
}

void frmSet::ObjAudio_SpeakEnd()
{
    ButtonAccount[9]->hide();
}

void frmSet::ObjAudio_Viseme(int32_t viseme)
{
    if (ConsoleLink* console = Console())
        console->ShowViseme(viseme == 0 ? 1 : viseme);
}

void frmSet::ObjAudio_DigitReceived(const QString& digit)
{
    if (MailObj)
        MailObj->DigitReceived(digit);
}

void frmSet::ObjAudio_VoiceConnected(int32_t kind, int32_t device)
{
    Q_UNUSED(kind);
    if (ConsoleLink* console = Console())
        console->EnableMenu(false);
    EnableSettingPages(false);
    if (phoneCallPending_)
        phoneCallPending_ = false; // remembered when the engine started calling
    else
        holdCountdownForCall();

    if (settingsVoice)
        settingsVoice->setVoice(VoiceCB->currentIndex());
    if (ObjAudio->getPhoneMode() == ClsAudioControl::ModemLine
        || ObjAudio->getPhoneMode() == ClsAudioControl::NetPhone) {
        // Speech goes down the line (or into the internet call): 8 kHz, 16-bit, mono.
        for (platform::SpeechVoice* voice : {defaultVoice.get(), chineseVoice.get()}) {
            if (!voice)
                continue;
            voice->setAllowAudioOutputFormatChangesOnNextSet(false);
            voice->setAudioOutputStream(platform::AudioOutputStream{device, platform::SpeechVoice::kTelephoneFormat});
        }
    }
}

void frmSet::ObjAudio_VoiceDisCon(int32_t kind)
{
    if (kind == 1) {
        if (!MailObj || MailObj->Mode() == MailEngineLink::Idle)
            mailobj_showListViewCount();
        for (platform::SpeechVoice* voice : {defaultVoice.get(), chineseVoice.get()})
            if (voice)
                voice->setAudioOutputStream(std::nullopt); // back to the sound card
        // The line is opened again in four seconds, unless a caller already rings on it again.
        platform::VoiceModem* open = FrmModem_->openLine();
        if (!open || open->LineState() != 1) {
            FrmModem_->KillMeSelf();
            ObjAudioReload->start();
        }
    }
    if (kind == ClsAudioControl::NetPhone)
        netCallMenuEnded();
    if (kind == ClsAudioControl::SimulatedPhone)
        simPhoneEnded();
    if (kind == ClsAudioControl::ListReading)
        readNextListItem();
    if (!checkHolding_) { // a running check gives them back when it ends
        if (ConsoleLink* console = Console())
            console->EnableMenu(true);
        EnableSettingPages(true);
    }
    phoneCallPending_ = false;
    restoreCountdown(callHolding_, callCountdownState_, checkHolding_);
}

void frmSet::modembox_Click(int index)
{
    lineAfterShow_ = -1; // a line waiting for the window opens now, or gives way to this one
    setPanelText(1, FrmModem_->InitModem(index, Check[5]->isChecked()));
    if (modemSelected_ && spokenCaptions_)
        ButtonSpeak(panelText(1));
    modemSelected_ = true;
}

// The stored line opens once the window has been drawn (see eventFilter), or after a while when
// the window is not shown at all.
void frmSet::openLineLater()
{
    whenDrawn([this] {
        if (lineAfterShow_ >= 0 && !unloaded_)
            modembox_Click(lineAfterShow_);
    });
}

void frmSet::whenDrawn(std::function<void()> work)
{
    constexpr int kUnshownWindowMs = 2000;
    drawnWork_.push_back(std::move(work));
    if (!drawnFallback_) {
        drawnFallback_ = new QTimer(this);
        drawnFallback_->setSingleShot(true);
        connect(drawnFallback_, &QTimer::timeout, this, &frmSet::runDrawnWork);
    }
    drawnFallback_->start(kUnshownWindowMs);
    if (isVisible() && windowHandle())
        windowHandle()->installEventFilter(this);
}

void frmSet::runDrawnWork()
{
    drawnFallback_->stop();
    if (windowHandle())
        windowHandle()->removeEventFilter(this);
    // What follows the window needs its voices and passwords as well.
    for (std::function<void()>& work : std::exchange(drawnWork_, {})) {
        if (startedUp())
            work();
        else
            startUpWork_.push_back(std::move(work));
    }
}

void frmSet::showEvent(QShowEvent* event)
{
    if (!drawnWork_.empty() && windowHandle())
        windowHandle()->installEventFilter(this);
    QMainWindow::showEvent(event);
}

void frmSet::ObjAudioReload_Timer()
{
    ObjAudioReload->stop();
    if (modembox->currentIndex() >= 0)
        setPanelText(1, FrmModem_->InitModem(modembox->currentIndex(), Check[5]->isChecked()));
}

void frmSet::ARButton12_Click()
{
    ButtonSpeak(QStringLiteral(" Modem configuration"));
    const int before = modembox->currentIndex();
    const int added = FrmModem_->ShowModemDialog(before, this);
    // A line just added is chosen at once.
    const int current = added >= 0 ? added : before;
    // The dialog may have added, changed or removed lines: list them again and open the
    // chosen one anew with what it now says.
    setup_voicephone();
    if (current >= 0 && current < modembox->count() && modembox->currentIndex() != current)
        modembox->setCurrentIndex(current);
    else if (current >= 0 && current < modembox->count())
        modembox_Click(current);
}

void frmSet::ARButton13_Click()
{
    ButtonSpeak(QStringLiteral(" set country code"));
    FrmModem_->ShowLocationDialog(modembox->currentIndex(), this);
}

// The shipped PIN is known to everyone and an empty one opens nothing: until the user sets a PIN
// of their own, a line that listens on the network takes calls from this computer only.
void frmSet::applyPinGuard()
{
    const QString pin = Pin->text();
    const bool ownPin = !pin.isEmpty() && pin != QLatin1String(keys::PhonePin.byDefault);
    if (FrmModem_)
        FrmModem_->setLocalCallersOnly(!ownPin);
    pinNote_->setVisible(!ownPin);
}
