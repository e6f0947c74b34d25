#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace platform {
class VoiceModem;
}

namespace telephony {

// The hidden modem form: hosts the voice-modem control Modem1, gives the main window and the
// call controller nine small operations over it and passes its six reports on unchanged. It
// keeps nothing of its own: every answer is asked of the control at the moment.
//
// Unloading (KillMeSelf) releases the control and with it the open device. The form object
// itself stays, so whoever listens to its reports keeps hearing them; any operation on an
// unloaded form loads it again first, with no device open until InitModem runs.
class FrmModem : public QObject
{
    Q_OBJECT
public:
    // Makes the control a loaded form hosts.
    using ControlFactory = std::function<std::unique_ptr<platform::VoiceModem>()>;

    // Hosts a modem control over the program's line-device table.
    explicit FrmModem(QObject* parent = nullptr);
    explicit FrmModem(ControlFactory factory, QObject* parent = nullptr);
    ~FrmModem() override;

    void ShowModemDialog(int32_t device, QWidget* owner = nullptr);
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

    bool isLoaded() const { return modem_ != nullptr; }
    // The hosted control (loading the form if needed).
    platform::VoiceModem* Modem1();

signals:
    void CallerID(const QString& number, const QString& name, int32_t flags);
    void PhoneConnected(int32_t device, int32_t second);
    void DigitReceived(const QString& digit);
    void Disconnected();
    void Error(int32_t number, const QString& description);
    void IncomingCall(int32_t rings);

private:
    platform::VoiceModem* load();

    ControlFactory factory_;
    platform::VoiceModem* modem_ = nullptr; // owned while loaded
};

} // namespace telephony
