// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <cstdint>

class QWidget;

namespace platform {

// What the program asks of a telephone line and the six things a line reports. A backend
// numbers its own devices from 0; LineDeviceTable gives all backends' devices one numbering.
// Every operation returns at once; what happens on the line arrives later as a signal, on the
// thread the backend lives on (the UI thread).
class VoiceModem : public QObject
{
    Q_OBJECT
public:
    static constexpr int32_t kVoiceCapable = 1; // capability bit 0

    using QObject::QObject;
    ~VoiceModem() override = default;

    // The device's settings dialog (a SIP account, say) and its dialling-location dialog.
    virtual void ShowModemDialog(int32_t device, QWidget* owner = nullptr) = 0;
    virtual void ShowLocationDialog(int32_t device, QWidget* owner = nullptr) = 0;
    virtual int16_t DeviceCount() const = 0;
    virtual QString DeviceName(int32_t device) const = 0;
    virtual int32_t DeviceCapabilities(int32_t device) const = 0;
    // Opens a device (registers the account, starts listening). One device per backend is
    // open at a time; opening another closes the first. The auto-answer flag is only stored:
    // the call controller answers. A failure to open arrives as Error.
    virtual void OpenDevice(int32_t device, bool voice, bool autoAnswer) = 0;
    virtual void CloseDevice() = 0;
    // Negative while calls are refused (no device open); 0 idle; 1 ringing; 2 in a call.
    virtual int32_t LineState() const = 0;
    // Dials number. Returns the number itself when dialling started, otherwise a short reason
    // ("Bad", "Busy", ...). The first two arguments are kept from the contract and unused.
    virtual QString MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag) = 0;
    // Ends the call, or stops a ringing one; Disconnected always follows, also when idle.
    virtual void HangUp() = 0;
    // Takes the ringing call; PhoneConnected follows when the line is up.
    virtual void Answer() = 0;
    // While on, a line that listens on the network takes calls only from this machine, also
    // after it is opened again. Lines without a listener ignore it.
    virtual void setLocalCallersOnly(bool on) { (void)on; }
    // After the settings dialog's OK: the device it ended on when that is one added there, so
    // that it can be chosen at once; -1 otherwise.
    virtual int32_t ChosenDevice() const { return -1; }

signals:
    // flags are LINECALLPARTYID bits: 1 blocked, 2 out of area, 4 name, 8 number (address),
    // 16 partial, 32 unknown, 64 unavailable.
    void CallerID(const QString& number, const QString& name, int32_t flags);
    // device: the number of the call's audio among platform::AudioOutputs.
    void PhoneConnected(int32_t device, int32_t second);
    void DigitReceived(const QString& digit);
    void Disconnected();
    void Error(int32_t number, const QString& description);
    void IncomingCall(int32_t rings);
    // Beyond the six reports: what the open device says about itself for the status bar (the
    // account registered, the listener ready, why the registration failed).
    void LineStatus(const QString& text);
};

} // namespace platform
