// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/LineDevices.h"

namespace platform {

LineDeviceTable& LineDeviceTable::instance()
{
    static LineDeviceTable table;
    return table;
}

VoiceModem* LineDeviceTable::addBackend(std::unique_ptr<VoiceModem> backend)
{
    if (localCallersOnly_)
        backend->setLocalCallersOnly(true);
    backends_.push_back(std::move(backend));
    return backends_.back().get();
}

void LineDeviceTable::clear()
{
    backends_.clear();
}

void LineDeviceTable::setLocalCallersOnly(bool on)
{
    localCallersOnly_ = on;
    for (const auto& b : backends_)
        b->setLocalCallersOnly(on);
}

int32_t LineDeviceTable::count() const
{
    int32_t n = 0;
    for (const auto& b : backends_)
        n += std::max<int32_t>(0, b->DeviceCount());
    return n;
}

std::optional<LineDeviceTable::Entry> LineDeviceTable::entry(int32_t device) const
{
    if (device < 0)
        return std::nullopt;
    for (const auto& b : backends_) {
        const int32_t n = std::max<int32_t>(0, b->DeviceCount());
        if (device < n)
            return Entry{b.get(), device};
        device -= n;
    }
    return std::nullopt;
}

int32_t LineDeviceTable::device(const VoiceModem* backend, int32_t local) const
{
    int32_t first = 0;
    for (const auto& b : backends_) {
        if (b.get() == backend)
            return local >= 0 ? first + local : -1;
        first += std::max<int32_t>(0, b->DeviceCount());
    }
    return -1;
}

QString LineDeviceTable::name(int32_t device) const
{
    const auto e = entry(device);
    return e ? e->backend->DeviceName(e->local) : QString();
}

int32_t LineDeviceTable::capabilities(int32_t device) const
{
    const auto e = entry(device);
    return e ? e->backend->DeviceCapabilities(e->local) : 0;
}

ModemControl::ModemControl(LineDeviceTable& table, QObject* parent) : VoiceModem(parent), table_(table) { }

ModemControl::~ModemControl()
{
    CloseDevice();
}

// Without a chosen device the first backend's dialog opens for device -1, so that a first
// line can be set up at all.
void ModemControl::ShowModemDialog(int32_t device, QWidget* owner)
{
    chosen_ = -1;
    const auto e = table_.entry(device);
    VoiceModem* backend = e ? e->backend : table_.first();
    if (!backend)
        return;
    backend->ShowModemDialog(e ? e->local : -1, owner);
    chosen_ = table_.device(backend, backend->ChosenDevice());
}

void ModemControl::ShowLocationDialog(int32_t device, QWidget* owner)
{
    if (const auto e = table_.entry(device))
        e->backend->ShowLocationDialog(e->local, owner);
    else if (VoiceModem* first = table_.first())
        first->ShowLocationDialog(-1, owner);
}

int16_t ModemControl::DeviceCount() const
{
    return int16_t(std::min<int32_t>(table_.count(), INT16_MAX));
}

QString ModemControl::DeviceName(int32_t device) const
{
    return table_.name(device);
}

int32_t ModemControl::DeviceCapabilities(int32_t device) const
{
    return table_.capabilities(device);
}

void ModemControl::OpenDevice(int32_t device, bool voice, bool autoAnswer)
{
    CloseDevice();
    const auto e = table_.entry(device);
    if (!e) {
        emit Error(-1, QStringLiteral("No line device %1").arg(device));
        return;
    }
    VoiceModem* b = e->backend;
    // a backend that goes away takes the open device with it
    gone_ = connect(b, &QObject::destroyed, this, [this] {
        open_ = nullptr;
        openDevice_ = -1;
        emit LineChanged(nullptr);
    });
    open_ = b;
    openDevice_ = device;
    emit LineChanged(b); // before it opens: a failure to open is its first report
    b->OpenDevice(e->local, voice, autoAnswer);
}

void ModemControl::CloseDevice()
{
    disconnect(gone_);
    VoiceModem* b = std::exchange(open_, nullptr);
    openDevice_ = -1;
    if (!b)
        return;
    emit LineChanged(nullptr);
    b->CloseDevice();
}

int32_t ModemControl::LineState() const
{
    return open_ ? open_->LineState() : -1;
}

QString ModemControl::MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag)
{
    return open_ ? open_->MakeCall(unused1, unused2, number, flag) : QStringLiteral("Bad");
}

void ModemControl::HangUp()
{
    if (open_)
        open_->HangUp();
    else // the caller waits for this to go back to idle
        QMetaObject::invokeMethod(this, &VoiceModem::Disconnected, Qt::QueuedConnection);
}

void ModemControl::Answer()
{
    if (open_)
        open_->Answer();
}

void ModemControl::setLocalCallersOnly(bool on)
{
    table_.setLocalCallersOnly(on);
}

} // namespace platform
