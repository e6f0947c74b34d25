#include "telephony/FrmModem.h"

#include "platform/telephone/LineDevices.h"

namespace telephony {

FrmModem::FrmModem(QObject* parent)
    : FrmModem([] { return std::make_unique<platform::ModemControl>(); }, parent)
{
}

FrmModem::FrmModem(ControlFactory factory, QObject* parent) : QObject(parent), factory_(std::move(factory)) {}

FrmModem::~FrmModem()
{
    if (modem_) {
        modem_->disconnect(this);
        delete std::exchange(modem_, nullptr); // closes the device
    }
}

platform::VoiceModem* FrmModem::load()
{
    if (modem_)
        return modem_;
    std::unique_ptr<platform::VoiceModem> made = factory_ ? factory_() : nullptr;
    if (!made)
        made = std::make_unique<platform::ModemControl>();
    modem_ = made.release();
    using platform::VoiceModem;
    connect(modem_, &VoiceModem::CallerID, this, &FrmModem::CallerID);
    connect(modem_, &VoiceModem::PhoneConnected, this, &FrmModem::PhoneConnected);
    connect(modem_, &VoiceModem::DigitReceived, this, &FrmModem::DigitReceived);
    connect(modem_, &VoiceModem::Disconnected, this, &FrmModem::Disconnected);
    connect(modem_, &VoiceModem::Error, this, &FrmModem::Error);
    connect(modem_, &VoiceModem::IncomingCall, this, &FrmModem::IncomingCall);
    return modem_;
}

platform::VoiceModem* FrmModem::Modem1()
{
    return load();
}

void FrmModem::KillMeSelf()
{
    if (!modem_)
        return;
    platform::VoiceModem* modem = std::exchange(modem_, nullptr);
    modem->disconnect(this);
    modem->CloseDevice();
    // the window unloads the form from inside a report of this very control
    modem->deleteLater();
}

void FrmModem::ShowModemDialog(int32_t device, QWidget* owner)
{
    load()->ShowModemDialog(device, owner);
}

void FrmModem::ShowLocationDialog(int32_t device, QWidget* owner)
{
    load()->ShowLocationDialog(device, owner);
}

int16_t FrmModem::GetNumberOfModems()
{
    return load()->DeviceCount();
}

QString FrmModem::GetModemName(int32_t device)
{
    return load()->DeviceName(device);
}

void FrmModem::Hangup()
{
    load()->HangUp();
}

QString FrmModem::InitModem(int32_t device, bool autoAnswer)
{
    platform::VoiceModem* modem = load();
    if (!(modem->DeviceCapabilities(device) & platform::VoiceModem::kVoiceCapable))
        return QStringLiteral("Modem Not Voice Capable");
    modem->OpenDevice(device, true, autoAnswer);
    return QStringLiteral("Voice Modem");
}

QString FrmModem::MakeCall(const QString& number, bool flag)
{
    platform::VoiceModem* modem = load();
    if (modem->LineState() < 0)
        return QStringLiteral("Bad");
    return modem->MakeCall(QString(), QString(), number, flag);
}

void FrmModem::Answer()
{
    load()->Answer();
}

} // namespace telephony
