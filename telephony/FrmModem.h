// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace platform {
class ModemControl;
class VoiceModem;
} // namespace platform

namespace telephony {

// The hidden modem form: hosts the voice-modem control Modem1 and gives the main window and the
// call controller nine small operations over it. It keeps nothing of its own: every answer is
// asked of the control at the moment. The line's reports do not pass through it: it names the
// line whose device is open (openLine, announced by LineChanged) and the call controller
// listens to that line itself.
//
// Unloading (KillMeSelf) releases the control and with it the open device. The form object
// itself stays, so whoever follows LineChanged hears the line again once InitModem opens it;
// any operation on an unloaded form loads it again first, with no device open.
class FrmModem : public QObject
{
    Q_OBJECT
public:
    // Makes the control a loaded form hosts.
    using ControlFactory = std::function<std::unique_ptr<platform::ModemControl>()>;

    // Hosts a modem control over the program's line-device table.
    explicit FrmModem(QObject* parent = nullptr);
    explicit FrmModem(ControlFactory factory, QObject* parent = nullptr);
    ~FrmModem() override;

    // Returns the device to choose now: one added in the dialog and selected at its OK, else -1.
    int32_t ShowModemDialog(int32_t device, QWidget* owner = nullptr);
    void ShowLocationDialog(int32_t device, QWidget* owner = nullptr);
    int16_t GetNumberOfModems();
    QString GetModemName(int32_t device);
    void KillMeSelf();
    void Hangup();
    // Opens a voice-capable device: "Voice Modem"; any other: "Modem Not Voice Capable".
    QString InitModem(int32_t device, bool autoAnswer);
    // The control's answer to dialling number ("Bad" without a device open).
    QString MakeCall(const QString& number, bool flag);
    void Answer();
    // Keeps every line that listens on the network to callers on this machine, or not.
    void setLocalCallersOnly(bool on);

    bool isLoaded() const { return modem_ != nullptr; }
    // The hosted control (loading the form if needed).
    platform::ModemControl* Modem1();
    // The line whose device is open; none while unloaded or with nothing open.
    platform::VoiceModem* openLine() const;

signals:
    // Another line is open, or none: its reports are the calls' from now on.
    void LineChanged(platform::VoiceModem* line);

private:
    platform::ModemControl* load();
    platform::ModemControl* release();

    ControlFactory factory_;
    platform::ModemControl* modem_ = nullptr; // owned while loaded
};

} // namespace telephony
