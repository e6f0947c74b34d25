// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineConfig.h"
#include "platform/telephone/VoiceModem.h"

#include <QList>

namespace platform {

class SettingsStore;

// The SIP line's devices as the settings list them: their names, the settings dialog that edits
// them and the dialling-location dialog. Needs no SIP stack, so the list is there at start-up
// while the stack itself is loaded later.
class SipLineDevices : public VoiceModem
{
    Q_OBJECT
public:
    // store: where the dialogs save (nullptr: they only change this list).
    explicit SipLineDevices(QList<SipLineConfig> lines, SettingsStore* store = nullptr, QObject* parent = nullptr);

    void ShowModemDialog(int32_t device, QWidget* owner = nullptr) override;
    void ShowLocationDialog(int32_t device, QWidget* owner = nullptr) override;
    int16_t DeviceCount() const override;
    QString DeviceName(int32_t device) const override;
    int32_t DeviceCapabilities(int32_t device) const override;
    int32_t ChosenDevice() const override;

    const QList<SipLineConfig>& lines() const { return lines_; }
    void setLines(const QList<SipLineConfig>& lines) { lines_ = lines; } // takes effect at the next OpenDevice
    QString dialPrefix() const { return prefix_; }
    void setDialPrefix(const QString& prefix);

private:
    QList<SipLineConfig> lines_;
    SettingsStore* store_ = nullptr;
    QString prefix_;
    int32_t chosen_ = -1; // the device the settings dialog ended on, when added there
};

} // namespace platform
