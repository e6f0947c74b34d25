// SPDX-License-Identifier: GPL-3.0-or-later
// The call controller's wiring, speech, timeout and end-of-speech handling. The line's
// reports and the calls themselves are in ClsAudioControlCalls.cpp.
#include "telephony/ClsAudioControl.h"

#include "platform/LogFile.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/VoiceModem.h"
#include "telephony/CallHost.h"
#include "telephony/FrmModem.h"

#include <QTimer>

namespace telephony {

ClsAudioControl::ClsAudioControl(QObject* parent) : QObject(parent) { }

ClsAudioControl::~ClsAudioControl()
{
    StopTimeout();
    status_ = Disconnecting;
    // the owner is going too: nobody is left to hear that the call ended
    blockSignals(true);
    host_ = nullptr;
    Vhangup();
}

void ClsAudioControl::setHost(CallHost* host)
{
    host_ = host;
    if (platform::SpeechVoice* voice = host ? host->idleVoice() : nullptr)
        setVoiceEng(voice);
}

// The modem form names the line it has open; that line's reports come straight here.
void ClsAudioControl::ModemPhone(FrmModem* phone)
{
    if (lcPhone)
        disconnect(lcPhone, nullptr, this, nullptr);
    lcPhone = phone;
    if (phone)
        connect(phone, &FrmModem::LineChanged, this, &ClsAudioControl::listenTo);
    listenTo(phone ? phone->openLine() : nullptr);
}

void ClsAudioControl::listenTo(platform::VoiceModem* line)
{
    if (line_)
        disconnect(line_, nullptr, this, nullptr);
    line_ = line;
    if (!line)
        return;
    using platform::VoiceModem;
    connect(line, &VoiceModem::IncomingCall, this, &ClsAudioControl::lcPhone_IncomingCall);
    connect(line, &VoiceModem::PhoneConnected, this, &ClsAudioControl::lcPhone_PhoneConnected);
    connect(line, &VoiceModem::Disconnected, this, &ClsAudioControl::lcPhone_Disconnected);
    connect(line, &VoiceModem::CallerID, this, &ClsAudioControl::lcPhone_CallerID);
    connect(line, &VoiceModem::Error, this, &ClsAudioControl::lcPhone_Error);
    connect(line, &VoiceModem::DigitReceived, this, &ClsAudioControl::lcPhone_DigitReceived);
}

void ClsAudioControl::timercontrol(QTimer* timer)
{
    if (lcTimeout) {
        disconnect(lcTimeout, nullptr, this, nullptr);
        lcTimeout->stop();
    }
    lcTimeout = timer;
    if (timer)
        connect(timer, &QTimer::timeout, this, &ClsAudioControl::lcTimeout_Timer);
}

void ClsAudioControl::setVoiceEng(platform::SpeechVoice* voice)
{
    if (voice == lpVoice)
        return;
    if (platform::SpeechVoice* old = lpVoice) {
        disconnect(old, nullptr, this, nullptr);
        // The old voice's end will not reach us any more: stop it, and take its speech as ended
        // so that nothing waits for it.
        if (!speechDone_) {
            old->Speak(QString(), kSpeakFlags);
            ++speechSerial_;
            speechFailed();
        }
    }
    lpVoice = voice;
    earlierStarts_ = earlierEnds_ = 0;
    if (!voice)
        return;
    using platform::SpeechVoice;
    connect(voice, &SpeechVoice::StartStream, this, &ClsAudioControl::lpVoice_StartStream);
    connect(voice, &SpeechVoice::EndStream, this, &ClsAudioControl::lpVoice_EndStream);
    connect(voice, &SpeechVoice::Viseme, this, &ClsAudioControl::lpVoice_Viseme);
    connect(voice, &QObject::destroyed, this, [this] {
        if (!speechDone_) { // a voice that is gone ends nothing
            ++speechSerial_;
            speechFailed();
        }
    });
}

void ClsAudioControl::ShowStatus(const QString& text)
{
    if (host_)
        host_->showCallStatus(text);
}

void ClsAudioControl::Logging(const QString& category, const QString& message, const QString& logName)
{
    ShowStatus(message);
    if (writeLog_)
        platform::AppendLogRecord(logName, category, message); // the log is a convenience
}

int ClsAudioControl::hangupTime() const
{
    return host_ ? host_->hangupTime() : kNoHostHangupSeconds;
}

// The call voice speaks to the caller, at the pace and loudness of a call.
void ClsAudioControl::takeCallVoice()
{
    platform::SpeechVoice* voice = host_ ? host_->callVoice() : nullptr;
    if (!voice)
        return;
    setVoiceEng(voice);
    voice->setRate(kCallRate);
    voice->setVolume(kCallVolume);
}

// The call takes over the voice: what was being said before stops, and its end is not taken for
// the end of the call's own speech.
void ClsAudioControl::forgetEarlierSpeech()
{
    dropCallSpeech();
    earlierStarts_ = lpVoice ? lpVoice->unstartedStreams() : 0;
    earlierEnds_ = lpVoice ? lpVoice->unendedStreams() : 0;
    if (earlierEnds_ > 0)
        lpVoice->Speak(QString(), kSpeakFlags); // purges
    else
        speechDone_ = true;
}

// What is left to say is dropped, as when a call ends: no further piece, no repetition, and no
// end of speech that could not start. The end of speech still playing finds nothing to go on with.
void ClsAudioControl::dropCallSpeech()
{
    moreText_ = false;
    repeating_ = false;
    ++speechSerial_;
}

// After a line call the idle voice speaks again, on the sound card.
void ClsAudioControl::lineCallEnded()
{
    if (platform::SpeechVoice* voice = host_ ? host_->idleVoice() : nullptr)
        setVoiceEng(voice);
    emit VoiceDisCon(ModemLine);
}

// Timeout

void ClsAudioControl::StartTimeout(int seconds)
{
    if (lcTimeout)
        lcTimeout->stop();
    timeoutLength_ = seconds;
    tickCount_ = 0;
    if (lcTimeout)
        lcTimeout->start();
}

void ClsAudioControl::StopTimeout()
{
    if (lcTimeout)
        lcTimeout->stop();
    tickCount_ = 0;
}

void ClsAudioControl::lcTimeout_Timer()
{
    ++tickCount_;
    if (tickCount_ < timeoutLength_) {
        if (status_ != FarEndHungUp && status_ != Ringing)
            ShowStatus(QStringLiteral("Waiting %1/%2").arg(tickCount_).arg(timeoutLength_));
        return;
    }
    switch (status_) {
    case Ringing: // the caller gave up
        status_ = Idle;
        StopTimeout();
        break;
    case FarEndHungUp:
        StopTimeout();
        status_ = Idle;
        lineCallEnded();
        break;
    default:
        ShowStatus(QStringLiteral("Timeout disconnect"));
        Vhangup();
        break;
    }
}

// Speech

void ClsAudioControl::speak(const QString& text)
{
    ++speechSerial_;
    emit Saying(text);
    if (lpVoice)
        lpVoice->Speak(text, kSpeakFlags);
    // Without a voice nothing is spoken, and an empty text only purges: no stream ends either.
    if (!lpVoice || text.isEmpty())
        speechFailed();
}

// Speech that cannot start, or whose voice went away, ends at once: nothing may wait for it.
void ClsAudioControl::speechFailed()
{
    speechDone_ = true;
    const uint32_t serial = speechSerial_;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == speechSerial_) // no speech since
                streamEnded();
        },
        Qt::QueuedConnection);
}

void ClsAudioControl::SpecialSpeak(const QString& text, bool more)
{
    moreText_ = more;
    speechDone_ = false;
    speak(text);
}

void ClsAudioControl::RepeatedlySay(int16_t count, const QString& text)
{
    speechDone_ = false;
    repeatCount_ = count;
    repeatIndex_ = 1;
    repeating_ = true;
    repeatText_ = text;
    speak(text);
}

void ClsAudioControl::ResetPlay()
{
    repeatIndex_ = repeatCount_ + 1;
    dropCallSpeech(); // the purge's own end must not start the repetition again
    if (lpVoice)
        lpVoice->Speak(QString(), kSpeakFlags); // purges: what was playing ends as usual
}

void ClsAudioControl::RateChange(int16_t delta)
{
    if (!lpVoice)
        return;
    const int rate = lpVoice->rate() + delta;
    if (rate >= -10 && rate <= 10)
        lpVoice->setRate(rate);
}

void ClsAudioControl::lpVoice_StartStream()
{
    if (earlierStarts_ > 0) {
        --earlierStarts_;
    } else {
        speechDone_ = false;
        StopTimeout(); // no inactivity counting while speaking
    }
    emit SpeakStart();
}

void ClsAudioControl::lpVoice_Viseme(int viseme)
{
    emit Viseme(viseme);
}

void ClsAudioControl::lpVoice_EndStream()
{
    emit SpeakEnd();
    if (earlierEnds_ > 0) { // said before the call began
        --earlierEnds_;
        if (lpVoice && lpVoice->unendedStreams() == 0)
            speechDone_ = true;
        return;
    }
    // Speech cut short ends before the speech that replaced it: only the last one's end counts,
    // so " Good bye" after "#" is heard before the hang-up.
    if (lpVoice && lpVoice->unendedStreams() > 0)
        return;
    streamEnded();
}

void ClsAudioControl::streamEnded()
{
    switch (status_) {
    case Idle:
        if (moreText_)
            emit SpeakRemain();
        break;
    case AlertSaying:
    case MenuRepeating:
        if (repeating_ && repeatIndex_ < repeatCount_) {
            ++repeatIndex_;
            speak(repeatText_);
        } else {
            repeating_ = false;
            repeatIndex_ = 1;
            StartTimeout(hangupTime());
        }
        break;
    case WaitingForPin:
    case WaitingForInput: StartTimeout(kAnswerSeconds); break;
    case ReadingPieces:
        if (moreText_)
            emit SpeakRemain();
        else
            StartTimeout(hangupTime());
        break;
    case Disconnecting: break;
    case GoodBye: Vhangup(); break;
    case ReadingList:
    case ReadingOne:
        if (moreText_)
            emit SpeakRemain();
        else
            emit VoiceDisCon(ListReading);
        break;
    default: // 1, 3, 7, 12, 14 and up, and any other
        StartTimeout(hangupTime());
        break;
    }
    speechDone_ = true;
}

} // namespace telephony
