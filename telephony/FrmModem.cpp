// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/FrmModem.h"

#include "platform/telephone/LineDevices.h"

namespace telephony {

FrmModem::FrmModem(QObject* parent) : FrmModem([] { return std::make_unique<platform::ModemControl>(); }, parent) { }

FrmModem::FrmModem(ControlFactory factory, QObject* parent) : QObject(parent), factory_(std::move(factory)) { }

FrmModem::~FrmModem()
{
    if (platform::ModemControl* modem = release())
        delete modem;
}

platform::ModemControl* FrmModem::load()
{
    if (modem_)
        return modem_;
    std::unique_ptr<platform::ModemControl> made = factory_ ? factory_() : nullptr;
    if (!made)
        made = std::make_unique<platform::ModemControl>();
    modem_ = made.release();
    connect(modem_, &platform::ModemControl::LineChanged, this, &FrmModem::LineChanged);
    return modem_;
}

// Closes the open device, telling the listeners first, and hands the control over.
platform::ModemControl* FrmModem::release()
{
    platform::ModemControl* modem = std::exchange(modem_, nullptr);
    if (modem) {
        modem->CloseDevice();
        modem->disconnect(this);
    }
    return modem;
}

platform::ModemControl* FrmModem::Modem1()
{
    return load();
}

platform::VoiceModem* FrmModem::openLine() const
{
    return modem_ ? modem_->openLine() : nullptr;
}

void FrmModem::KillMeSelf()
{
    // The window unloads the form from inside a line's report, which may have come from inside
    // an operation of this very control.
    if (platform::ModemControl* modem = release())
        modem->deleteLater();
}

int32_t FrmModem::ShowModemDialog(int32_t device, QWidget* owner)
{
    platform::ModemControl* modem = load();
    modem->ShowModemDialog(device, owner);
    return modem->ChosenDevice();
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

void FrmModem::setLocalCallersOnly(bool on)
{
    load()->setLocalCallersOnly(on);
}

} // namespace telephony
