// SPDX-License-Identifier: GPL-3.0-or-later
// The call controller's calls: rings and answering, the alert call, connection, hang-up and
// what the line reports.
#include "telephony/ClsAudioControl.h"

#include "platform/telephone/VoiceModem.h"
#include "telephony/CallHost.h"
#include "telephony/FrmModem.h"

#include <QTimer>

namespace telephony {

namespace {

constexpr const char* kLogName = "kv_";
const QString kPinPrompt = QStringLiteral(" Please enter Password");

} // namespace

void ClsAudioControl::lcPhone_IncomingCall(int32_t rings)
{
    if (status_ == FarEndHungUp && phoneMode_ == ModemLine) {
        // The caller rings again before the old call's end: that end is now.
        platform::VoiceModem* const ringing = line_;
        StopTimeout();
        status_ = Idle;
        lineCallEnded();
        if (!line_ || line_ != ringing)
            return; // the line was closed at the end of the call, and the ringing caller with it
    }
    ResetTimer();
    ShowStatus(QStringLiteral("The Phone Has Ring %1 times.").arg(rings));
    if (status_ == Idle) {
        status_ = Ringing;
        StartTimeout(kRingGapSeconds);
    }
    const bool signedIn = !host_ || host_->signedIn();
    if (signedIn && AutoAnswer && status_ == Ringing && rings >= RingsToAnswer)
        AnswerCall();
    // Nobody takes the call: turned away, so that the line is free for the next caller.
    if (rings >= RingsToAnswer + kExtraRings && !inLineCall()) {
        missedCall();
        if (lcPhone && line_)
            lcPhone->Hangup();
    }
}

// A line call is being set up or going on; the ringing that ends in an answer is not one yet.
bool ClsAudioControl::inLineCall() const
{
    return phoneMode_ == ModemLine && status_ != Idle && status_ != Ringing;
}

// A ringing call that ends unanswered: the line has no call to end.
void ClsAudioControl::missedCall()
{
    if (status_ == Ringing) {
        StopTimeout();
        status_ = Idle;
    }
    Logging(QStringLiteral("Phone"), QStringLiteral("Missed Call"), kLogName);
}

void ClsAudioControl::AnswerCall()
{
    if (!host_ || !host_->mayAnswer()) // the next ring asks again; the ring gap brings the line back to idle
        return;
    Logging(QStringLiteral("Phone"), QStringLiteral("Answer Phone"), kLogName);
    StartTimeout(kAnswerSeconds);
    pendingStatus_ = WaitingForPin;
    phoneMode_ = ModemLine;
    repeatCount_ = 1;
    status_ = Connecting;
    repeatText_ = kPinPrompt;
    hangupRequested_ = false; // a hang-up of ours ended an earlier call, not this one
    takeCallVoice();
    forgetEarlierSpeech();
    emit IncomingPhone();
    if (lcPhone)
        lcPhone->Answer();
}

void ClsAudioControl::lcPhone_PhoneConnected(int32_t device, int32_t /*second*/)
{
    // Only the call we dialled or answered: a line that connects by itself while the simulated
    // telephone or nothing is going would start a call nobody ends.
    if (phoneMode_ != ModemLine || status_ != Connecting)
        return;
    lineConnected(device);
}

void ClsAudioControl::ListPhoneConnected(int32_t device)
{
    phoneMode_ = ListReading;
    lineConnected(device);
}

void ClsAudioControl::simPhoneConnected(int32_t device)
{
    phoneMode_ = SimulatedPhone;
    lineConnected(device);
}

// The caller is already connected: the menu starts at the PIN prompt at once.
void ClsAudioControl::netPhoneConnected(int32_t device)
{
    phoneMode_ = NetPhone;
    hangupRequested_ = false;
    takeCallVoice();
    forgetEarlierSpeech();
    emit IncomingPhone();
    lineConnected(device);
}

void ClsAudioControl::lineConnected(int32_t device)
{
    deviceNumber_ = device;
    switch (phoneMode_) {
    case SimulatedPhone:
        status_ = WaitingForPin;
        emit VoiceConnected(SimulatedPhone, device);
        break;
    case ListReading: emit VoiceConnected(ListReading, device); break;
    case NetPhone:
        status_ = WaitingForPin;
        emit VoiceConnected(NetPhone, device);
        RepeatedlySay(1, kPinPrompt);
        break;
    case ModemLine:
        Logging(QStringLiteral("Phone"), QStringLiteral("Phone Connected.."), kLogName);
        emit VoiceConnected(ModemLine, device);
        status_ = pendingStatus_;
        RepeatedlySay(int16_t(repeatCount_), repeatText_);
        break;
    default: break;
    }
}

bool ClsAudioControl::Make_callnow(const QString& number, int16_t repeatCount, const QString& message)
{
    if (number.isEmpty())
        return false;
    repeatCount_ = repeatCount;
    repeatText_ = message;
    ErrorNumber = 0;
    hangupRequested_ = false;
    const QString dialled = lcPhone ? lcPhone->MakeCall(number, false) : QStringLiteral("Bad");
    // Dialling started only when the line answers with the number itself; an Error report
    // during the attempt keeps its number.
    if (dialled != number) {
        if (ErrorNumber == 0)
            ErrorNumber = 13;
        return false;
    }
    phoneMode_ = ModemLine;
    status_ = Connecting;
    pendingStatus_ = AlertSaying;
    takeCallVoice();
    forgetEarlierSpeech();
    emit IncomingPhone();
    ShowStatus(QStringLiteral("Waiting for Connection %1").arg(kConnectionSeconds));
    StartTimeout(kConnectionSeconds);
    return true;
}

void ClsAudioControl::Vhangup()
{
    hangupRequested_ = true;
    StopTimeout();
    switch (phoneMode_) {
    case ModemLine:
        if (status_ == Idle)
            break;
        if (lcPhone)
            lcPhone->Hangup(); // the line's Disconnected finishes the call
        if (!line_) // no line is open to say so: finish on the next turn, as a line would
            QMetaObject::invokeMethod(this, &ClsAudioControl::lcPhone_Disconnected, Qt::QueuedConnection);
        break;
    case SimulatedPhone:
    case NetPhone:
        dropCallSpeech();
        status_ = Idle;
        emit VoiceDisCon(phoneMode_);
        break;
    case ListReading:
        status_ = Idle;
        emit VoiceDisCon(ListReading);
        break;
    default: break;
    }
}

void ClsAudioControl::lcPhone_Disconnected()
{
    if (status_ == Ringing) // the caller gave up before anyone answered
        return missedCall();
    // A line drop belongs to a line call: the simulated telephone and list reading go on.
    if (phoneMode_ != ModemLine || status_ == Idle)
        return;
    status_ = Disconnecting;
    if (!speechDone_)
        ResetPlay(); // also drops what was left to say
    else
        dropCallSpeech();
    if (hangupRequested_) {
        StopTimeout();
        status_ = Idle;
        Logging(QStringLiteral("Phone"), QStringLiteral("Disconnected"), kLogName);
        lineCallEnded();
        return;
    }
    // The far end hung up: the call ends at the timeout's next expiry, a few seconds on.
    tickCount_ = timeoutLength_ - kFarEndGraceSeconds;
    status_ = FarEndHungUp;
    Logging(QStringLiteral("Phone"), QStringLiteral("Phone Busy Disconnect"), kLogName);
    if (speechDone_ && lcTimeout && !lcTimeout->isActive())
        lcTimeout->start(); // nothing else would re-arm it
}

void ClsAudioControl::lcPhone_CallerID(const QString& number, const QString& name, int32_t flags)
{
    // The party-id bits in the order they apply; a later bit overwrites an earlier one.
    enum Field { Name, Number };
    const struct
    {
        int32_t bit;
        Field field;
        QString text;
    } kParts[] = {
        {1, Name, QStringLiteral("Blocked Caller ID")},
        {2, Name, QStringLiteral("Out of Area")},
        {4, Name, name},
        {8, Number, number},
        {16, Number, number},
        {32, Name, QStringLiteral("Unknown Caller ID")},
        {64, Name, QStringLiteral("UNAVAILABLE Caller ID")},
    };
    QString nameText, numberText = QStringLiteral("N/A");
    for (const auto& part : kParts)
        if (flags & part.bit)
            (part.field == Name ? nameText : numberText) = part.text;
    Logging(QStringLiteral("phone"), QStringLiteral("From : ") + nameText + QStringLiteral(" , ") + numberText,
            kLogName);
}

void ClsAudioControl::lcPhone_Error(int32_t number, const QString& description)
{
    Logging(QStringLiteral("phone"), description, kLogName);
    ErrorNumber = number;
    ErrorText = description;
}

void ClsAudioControl::lcPhone_DigitReceived(const QString& digit)
{
    emit DigitReceived(digit); // the voice menu interprets it
}

} // namespace telephony
