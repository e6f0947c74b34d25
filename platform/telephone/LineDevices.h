// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/VoiceModem.h"

#include <QMetaObject>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// The line devices of every backend in one numbering: the first backend's devices, then the
// next backend's, and so on. A backend's device count may change (an account added in its
// settings dialog), so the numbering is worked out at each question.
class LineDeviceTable
{
public:
    static LineDeviceTable& instance();

    // The table owns its backends; they live until clear() or the end of the program.
    VoiceModem* addBackend(std::unique_ptr<VoiceModem> backend);
    void clear();
    // For every backend, also those added later.
    void setLocalCallersOnly(bool on);

    struct Entry
    {
        VoiceModem* backend = nullptr;
        int32_t local = -1; // the device's number in its backend
    };
    int32_t count() const;
    VoiceModem* first() const { return backends_.empty() ? nullptr : backends_.front().get(); }
    std::optional<Entry> entry(int32_t device) const;
    // The table's number of a backend's device; -1 for a backend not in the table.
    int32_t device(const VoiceModem* backend, int32_t local) const;
    QString name(int32_t device) const; // "" for a device that does not exist
    int32_t capabilities(int32_t device) const; // 0 for a device that does not exist

private:
    std::vector<std::unique_ptr<VoiceModem>> backends_;
    bool localCallersOnly_ = false;
};

// The control the modem form hosts: the contract over the table's numbering. It opens one
// device at a time and closes it when it goes away. The line whose device is open reports for
// itself: whoever handles calls listens to openLine(), which LineChanged announces. The control
// reports only what happens without a line (no such device, a hang-up with nothing open).
class ModemControl : public VoiceModem
{
    Q_OBJECT
public:
    explicit ModemControl(LineDeviceTable& table = LineDeviceTable::instance(), QObject* parent = nullptr);
    ~ModemControl() override;

    // An unknown device (-1: none chosen) opens the first backend's dialogs for device -1.
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
    // Says it to every backend of the table.
    void setLocalCallersOnly(bool on) override;
    // In the table's numbering.
    int32_t ChosenDevice() const override { return chosen_; }

    int32_t openDevice() const { return open_ ? openDevice_ : -1; }
    // The backend whose device is open; none while nothing is.
    VoiceModem* openLine() const { return open_; }

signals:
    // Another line is open, or none (announced before the line is closed, so that what it
    // says while closing reaches nobody).
    void LineChanged(platform::VoiceModem* line);

private:
    LineDeviceTable& table_;
    VoiceModem* open_ = nullptr;
    int32_t openDevice_ = -1;
    int32_t chosen_ = -1;
    QMetaObject::Connection gone_;
};

} // namespace platform
