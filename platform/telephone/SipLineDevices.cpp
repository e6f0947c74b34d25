// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLineDevices.h"

#include "platform/SettingsStore.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"

#include <algorithm>

namespace platform {

SipLineDevices::SipLineDevices(QList<SipLineConfig> lines, SettingsStore* store, QObject* parent)
    : VoiceModem(parent), lines_(std::move(lines)), store_(store)
{
    if (store)
        prefix_ = LoadSipDialPrefix(*store);
}

void SipLineDevices::setDialPrefix(const QString& prefix)
{
    prefix_ = IsValidDialPrefix(prefix) ? prefix : QString();
}

int16_t SipLineDevices::DeviceCount() const
{
    return int16_t(std::min<qsizetype>(lines_.size(), 32767));
}

QString SipLineDevices::DeviceName(int32_t device) const
{
    return device >= 0 && device < lines_.size() ? lines_[device].name(device + 1) : QString();
}

int32_t SipLineDevices::ChosenDevice() const
{
    return chosen_;
}

int32_t SipLineDevices::DeviceCapabilities(int32_t device) const
{
    return device >= 0 && device < lines_.size() ? kVoiceCapable : 0;
}

void SipLineDevices::ShowModemDialog(int32_t device, QWidget* owner)
{
    chosen_ = -1;
    SipSettingsDialog dialog(lines_, int(device), owner);
    if (dialog.exec() != QDialog::Accepted)
        return;
    lines_ = dialog.lines();
    chosen_ = dialog.chosenRow();
    if (store_)
        SaveSipLines(*store_, lines_);
}

void SipLineDevices::ShowLocationDialog(int32_t, QWidget* owner)
{
    SipLocationDialog dialog(prefix_, owner);
    if (dialog.exec() != QDialog::Accepted)
        return;
    setDialPrefix(dialog.prefix());
    if (store_)
        SaveSipDialPrefix(*store_, prefix_);
}

} // namespace platform
