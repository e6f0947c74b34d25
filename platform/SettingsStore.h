// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QSettings>
#include <QString>
#include <memory>

namespace platform {

// The per-user settings store: application "TNX_Korvalen", group "setting", every value text.
// Keys are found whatever their capitals, as the original registry store did.
class SettingsStore
{
public:
    static constexpr const char* kApplication = "TNX_Korvalen";
    static constexpr const char* kSection = "setting";

    SettingsStore(); // the user's own store
    explicit SettingsStore(const QString& iniFile); // a given file (tools, tests)
    virtual ~SettingsStore();

    // The stored text, or defaultValue when the key is missing.
    virtual QString GetSetting(const QString& key, const QString& defaultValue) const;
    // Writes at once; false when the store could not be written (see lastError()).
    virtual bool SaveSetting(const QString& key, const QString& value);

    QString lastError() const { return lastError_; }
    QString fileName() const;

private:
    QString storedKey(const QString& key) const;
    void open();

    QString iniFile_; // empty: the user's own store
    std::unique_ptr<QSettings> settings_;
    QString lastError_;
};

} // namespace platform
