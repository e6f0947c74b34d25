// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineDevices.h"

#include <QString>
#include <memory>

namespace platform {

// The telephone line over SIP. SIP has no rings: a ringing call raises IncomingCall from a
// ring timer of our own. While a call is connected its audio is an AudioOutput among the
// numbered outputs, named in PhoneConnected; what a voice writes there is heard at the far end.
// The SIP stack runs on the thread that made the line, turned by a timer.
class SipLine : public SipLineDevices
{
    Q_OBJECT
public:
    static constexpr int kRingIntervalMs = 3000; // well inside the call controller's 6-second ring gap
    static constexpr int kGiveBackMemoryMs = 40000; // after the last call ended

    // store: where the settings dialogs save (nullptr: they only change this line's lists).
    explicit SipLine(QList<SipLineConfig> lines, SettingsStore* store = nullptr, QObject* parent = nullptr);
    ~SipLine() override;

    void OpenDevice(int32_t device, bool voice, bool autoAnswer) override;
    void CloseDevice() override;
    int32_t LineState() const override;
    QString MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag) override;
    void HangUp() override;
    void Answer() override;
    // A direct listener takes calls from this machine only (an account's calls come through
    // its server and are not affected). Kept for every later OpenDevice.
    void setLocalCallersOnly(bool on) override;
    bool localCallersOnly() const;

    bool autoAnswer() const;

    // Lent for tests: the pause between rings of a ringing call.
    void setRingInterval(int ms);
    // The open device's local SIP port (0 when none is open), and the call's audio output
    // number (-1 when no call is connected).
    int localSipPort() const;
    int32_t audioDevice() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
