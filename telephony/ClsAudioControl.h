// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class QTimer;

namespace platform {
class SpeechVoice;
class VoiceModem;
} // namespace platform

namespace telephony {

class CallHost;
class FrmModem;

// The one object that knows about telephone calls and speech: it counts rings and answers,
// places the new-mail alert call, keeps the call status the keypad voice menu drives, speaks
// (once, repeatedly or piece by piece), hangs up a silent line after a timeout and reports it
// all to the main window. The simulated telephone and the reading of the mailbox list on the
// sound card use the same status machine without a line.
//
// Everything runs on the UI thread: line reports, timer ticks and speech events arrive one at
// a time through the event loop. The lent timer's tick counts as one second.
class ClsAudioControl : public QObject
{
    Q_OBJECT
public:
    // Call status. The controller sets 0, 1, 2, 4, 8, 15 and 16; the voice menu the others.
    enum Status : int32_t {
        Idle = 0,
        Connecting = 1, // dialling or answering
        AlertSaying = 2, // alert call connected: the alert text is repeated
        WaitingForPin = 4, // answered (or simulated) call at the PIN prompt
        MenuRepeating = 5, // menu text repeated, as 2
        ReadingPieces = 6, // a text read piece by piece
        Disconnecting = 8,
        GoodBye = 9, // hang up when the speech ends
        ReadingList = 10, // the mailbox list read message by message; speech end ends one
        ReadingOne = 11, // one list item read aloud; speech end ends it
        MenuSpeech = 12, // menu speech with the ordinary inactivity limit
        WaitingForInput = 13, // input with the 30-second limit, as 4
        FarEndHungUp = 15, // disconnect pending
        Ringing = 16, // ringing, not answered
    };
    // Kind of the current or last call; also the kind VoiceConnected and VoiceDisCon carry.
    enum PhoneMode : int32_t { SimulatedPhone = 0, ModemLine = 1, NetPhone = 2, ListReading = 3 };

    static constexpr int kRingGapSeconds = 6; // no further ring for this long: the caller gave up
    static constexpr int kExtraRings = 2; // rings past RingsToAnswer before a caller nobody takes is turned away
    static constexpr int kAnswerSeconds = 30; // answered call must connect, and a prompt be answered
    static constexpr int kConnectionSeconds = 90; // dialled call must connect
    static constexpr int kFarEndGraceSeconds = 3; // between the far end going and the call's end
    static constexpr int kSpeakFlags = 3; // asynchronous, purge before speak
    static constexpr int kCallRate = 1; // a caller hears the call voice this fast
    static constexpr int kCallVolume = 99; // and this loud
    static constexpr int kNoHostHangupSeconds = 10; // the setting's default

    explicit ClsAudioControl(QObject* parent = nullptr);
    ~ClsAudioControl() override;

    // Last line error: from the line's Error report, 13 for a dial that failed without one.
    int32_t ErrorNumber = 0;
    QString ErrorText;
    bool AutoAnswer = false;
    int16_t RingsToAnswer = 2;

    // Wiring, done once by the main window (setVoiceEng again whenever it switches voices).
    // The host is asked for the voices, the status text, the sign-in and the hang-up time;
    // without one, calls are never answered and the hang-up time is kNoHostHangupSeconds.
    void setHost(CallHost* host);
    void ModemPhone(FrmModem* phone);
    void timercontrol(QTimer* timer);
    void setVoiceEng(platform::SpeechVoice* voice);
    void writelog(bool on) { writeLog_ = on; }

    bool isDonePlay() const { return speechDone_; }
    int32_t getStatus() const { return status_; }
    int32_t getPhoneMode() const { return phoneMode_; }

    void ChangeStatus(int32_t status) { status_ = status; }
    void StopTimeout();
    void ResetTimer() { tickCount_ = 0; }
    // Speaks text; more says whether further pieces of the same text follow.
    void SpecialSpeak(const QString& text, bool more);
    // Speaks text count times in all while the status is 2 or 5, otherwise once.
    void RepeatedlySay(int16_t count, const QString& text);
    // Stops what is being spoken and any repetition.
    void ResetPlay();
    void RateChange(int16_t delta);
    void Vhangup();
    // Places the new-mail alert call; false when it could not be dialled.
    bool Make_callnow(const QString& number, int16_t repeatCount, const QString& message);
    void ListPhoneConnected(int32_t device);
    void simPhoneConnected(int32_t device);
    // An internet caller was handed to the voice menu; device names the call's audio output.
    void netPhoneConnected(int32_t device);
    void Logging(const QString& category, const QString& message, const QString& logName);

signals:
    void SpeakStart();
    void SpeakEnd();
    void VoiceConnected(int32_t kind, int32_t device);
    void VoiceDisCon(int32_t kind);
    void DigitReceived(const QString& digit);
    void Viseme(int32_t viseme);
    // A call is being taken: an accepted ringing line is answered, or the alert call placed.
    // The controller is already in the line call (getPhoneMode, getStatus); the call voice
    // speaks from here on.
    void IncomingPhone();
    void SpeakRemain();
    // The text each speech starts with, as it is handed to the voice.
    void Saying(const QString& text);
    void DebugPrint(const QString& text);

private slots:
    // The open line's reports.
    void lcPhone_IncomingCall(int32_t rings);
    void lcPhone_PhoneConnected(int32_t device, int32_t second);
    void lcPhone_Disconnected();
    void lcPhone_CallerID(const QString& number, const QString& name, int32_t flags);
    void lcPhone_Error(int32_t number, const QString& description);
    void lcPhone_DigitReceived(const QString& digit);
    // The timer's tick.
    void lcTimeout_Timer();
    // The voice's events.
    void lpVoice_StartStream();
    void lpVoice_EndStream();
    void lpVoice_Viseme(int viseme);

private:
    void ShowStatus(const QString& text);
    void StartTimeout(int seconds);
    void AnswerCall();
    void lineConnected(int32_t device);
    void speak(const QString& text);
    void speechFailed();
    void streamEnded();
    int hangupTime() const;
    void takeCallVoice();
    void forgetEarlierSpeech();
    void dropCallSpeech();
    bool inLineCall() const;
    void missedCall();
    void lineCallEnded();
    void listenTo(platform::VoiceModem* line);

    CallHost* host_ = nullptr;
    QPointer<FrmModem> lcPhone;
    QPointer<platform::VoiceModem> line_; // the line the modem form has open
    QPointer<QTimer> lcTimeout;
    QPointer<platform::SpeechVoice> lpVoice;

    bool writeLog_ = false;
    int32_t phoneMode_ = SimulatedPhone;
    int32_t status_ = Idle;
    int32_t pendingStatus_ = Idle;
    bool hangupRequested_ = false;
    bool moreText_ = false;
    bool speechDone_ = true;
    int32_t deviceNumber_ = 0;
    int32_t timeoutLength_ = 0;
    int32_t tickCount_ = 0;
    int32_t repeatCount_ = 0;
    int32_t repeatIndex_ = 0;
    bool repeating_ = false; // a RepeatedlySay is still going
    QString repeatText_;
    // Counts speech attempts, so the end of a failed one is not taken for a later one's.
    uint32_t speechSerial_ = 0;
    // Starts and ends still to come from speech asked before the current call began.
    int earlierStarts_ = 0;
    int earlierEnds_ = 0;
};

} // namespace telephony
