// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineDevices.h"

#include <memory>
#include <optional>

namespace platform {

// The program's SIP line. The SIP stack and the many libraries under it take about a tenth of a
// second to load, so they are not linked into the program: this line lists its devices from the
// settings at once and loads the stack from a module of its own, on a worker thread, the first
// time a device is opened. Until then no device is open: calls are refused and nothing rings.
class DeferredSipLine : public SipLineDevices
{
    Q_OBJECT
public:
    explicit DeferredSipLine(QList<SipLineConfig> lines, SettingsStore* store = nullptr,
                             QString modulePath = DefaultModulePath(), QObject* parent = nullptr);
    ~DeferredSipLine() override;

    // Beside the program (a build), or in the library folder it is installed with.
    static QString DefaultModulePath();
    // Loads the module at path now, on this thread: what is wrong with it, empty when nothing is.
    static QString CheckModule(const QString& path);

    void OpenDevice(int32_t device, bool voice, bool autoAnswer) override;
    void CloseDevice() override;
    int32_t LineState() const override;
    QString MakeCall(const QString& unused1, const QString& unused2, const QString& number, bool flag) override;
    void HangUp() override;
    void Answer() override;
    void setLocalCallersOnly(bool on) override;

    // The line the module made, once loaded.
    SipLineDevices* loaded() const { return line_.get(); }

private:
    struct Opening
    {
        int32_t device;
        bool voice, autoAnswer;
    };
    void load();
    void takeLine(SipLineDevices* line, const QString& problem);

    QString modulePath_;
    bool loading_ = false;
    bool localOnly_ = false;
    std::optional<Opening> pending_;
    std::unique_ptr<SipLineDevices> line_;
};

} // namespace platform
