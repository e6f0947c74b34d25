// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

namespace platform {

class Keyring;

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

    // Every key the file holds, and taking one out (the file then no longer has it).
    QStringList Keys() const;
    bool RemoveSetting(const QString& key);

    // Passwords go to this keyring while it is in use, and to the file otherwise. Stores made
    // for the user's own file take the one set for the whole program.
    void UseKeyring(Keyring* keyring) { keyring_ = keyring; }
    static void SetProgramKeyring(Keyring* keyring);

    QString lastError() const { return lastError_; }
    QString fileName() const;

private:
    QString storedKey(const QString& key) const;
    void open();
    bool sync();

    QString iniFile_; // empty: the user's own store
    std::unique_ptr<QSettings> settings_;
    QString lastError_;
    Keyring* keyring_ = nullptr;
};

} // namespace platform
