// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/VoiceModem.h"

#include <QByteArray>
#include <functional>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

namespace platform {

struct ScriptedLineRecording;

// A line that plays what a test or a script tells it: rings, caller id, the connection,
// digits, a far-end hang-up, errors. It notes every operation asked of it, records what is
// spoken down the line, and always reports Disconnected after a hang-up (on the next turn of
// the event loop, as a real line would). When KORVALEN_SCRIPTED_LINE_SPEECH names a folder,
// each call's speech is written there as a WAV file (call-1.wav, call-2.wav, ...) when it ends.
class ScriptedLine : public VoiceModem
{
    Q_OBJECT
public:
    // names: one device per name; the capability word of each is kVoiceCapable unless the
    // name ends in " (data)", which makes a device without voice.
    explicit ScriptedLine(QStringList names = {QStringLiteral("Scripted line")}, QObject* parent = nullptr);
    ~ScriptedLine() override;

    void ShowModemDialog(int32_t device, QWidget* owner = nullptr) override;
    void ShowLocationDialog(int32_t device, QWidget* owner = nullptr) override;
    int16_t DeviceCount() const override;
    QString DeviceName(int32_t device) const override;
    int32_t DeviceCapabilities(int32_t device) const override;
    void OpenDevice(int32_t device, bool voice, bool autoAnswer) override;
    void CloseDevice() override;
    int32_t LineState() const override;
    QString MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag) override;
    void HangUp() override;
    void Answer() override;
    void setLocalCallersOnly(bool on) override;

    // What the far end or the exchange does.
    void ring(int32_t rings); // IncomingCall with that count; the line rings
    void callerId(const QString& number, const QString& name, int32_t flags);
    void connect(); // the call is up: PhoneConnected
    void digit(const QString& digit); // DigitReceived, only while connected
    void farHangUp(); // Disconnected
    void error(int32_t number, const QString& description);
    // What MakeCall answers next time instead of the number ("" = dial normally).
    void refuseNextCall(const QString& reason) { refusal_ = reason; }
    // When set, Answer and a dialled call connect by themselves on the next turn.
    void setConnectOnAnswer(bool on) { connectOnAnswer_ = on; }

    // What was asked of the line, one entry each: "open 0 auto", "close", "answer",
    // "dial 5551234", "hangup", "dialog 0", "location 0", "local callers only", "any callers".
    const QStringList& operations() const { return operations_; }
    int32_t openedDevice() const { return open_; }
    bool autoAnswer() const { return autoAnswer_; }
    // The call's audio output number while connected, otherwise -1.
    int32_t audioDevice() const { return audio_; }
    // Everything spoken down the line in the current or last call: 16-bit mono PCM at 8 kHz
    // (what a voice in format 6 writes), from the first connection of the call.
    QByteArray spoken() const;

    // Runs a script, one step per line, a step every `stepMs` of the event loop:
    //   ring N | callerid NUMBER FLAGS [NAME...] | connect | autoconnect | digit D | hangup |
    //   error N TEXT | wait MS | # comment
    // Returns false (and says why in *problem) for a line it cannot read; nothing runs then.
    bool play(const QString& script, QString* problem = nullptr, int stepMs = 0);

private:
    struct Step
    {
        int waitMs = 0;
        std::function<void()> run;
    };
    void endCall();
    void runSteps();
    void writeSpeech();

    QStringList names_;
    QStringList operations_;
    int32_t open_ = -1;
    bool autoAnswer_ = false;
    int32_t state_ = -1;
    int32_t audio_ = -1;
    QString refusal_;
    bool connectOnAnswer_ = false;
    std::shared_ptr<ScriptedLineRecording> spoken_;
    QString speechFolder_; // where each call's speech goes as a WAV file; "" for nowhere
    std::vector<Step> steps_;
    QTimer stepTimer_;
};

} // namespace platform
