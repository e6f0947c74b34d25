// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SettingsStore.h"

#include "platform/Keyring.h"

#include <QFile>

#include <QFileInfo>
#include <QStringList>

namespace platform {

namespace {

Keyring* programKeyring = nullptr;

} // namespace

void SettingsStore::SetProgramKeyring(Keyring* keyring)
{
    programKeyring = keyring;
}

SettingsStore::SettingsStore() : keyring_(programKeyring)
{
    open();
}

SettingsStore::SettingsStore(const QString& iniFile) : iniFile_(iniFile)
{
    open();
}

void SettingsStore::open()
{
    settings_ = iniFile_.isEmpty() ? std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                                 kApplication, kApplication)
                                   : std::make_unique<QSettings>(iniFile_, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const
{
    return settings_->fileName();
}

// Reuse the spelling already in the file so that "PopServer" and "popserver" are one value.
QString SettingsStore::storedKey(const QString& key) const
{
    const QString folded = key.toCaseFolded();
    settings_->beginGroup(kSection);
    const QStringList keys = settings_->childKeys();
    settings_->endGroup();
    for (const QString& k : keys)
        if (k.toCaseFolded() == folded)
            return k;
    return key;
}

QStringList SettingsStore::Keys() const
{
    settings_->beginGroup(kSection);
    const QStringList keys = settings_->childKeys();
    settings_->endGroup();
    return keys;
}

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const
{
    if (keyring_ && IsPasswordKey(key))
        if (const std::optional<QString> password = keyring_->Password(key))
            return *password;
    const QString name = QString(kSection) + '/' + storedKey(key);
    if (!settings_->contains(name))
        return defaultValue;
    const QVariant v = settings_->value(name);
    // A hand-edited value with unquoted commas reads back as a list: keep it as the text it was.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(',');
    return v.toString();
}

bool SettingsStore::SaveSetting(const QString& key, const QString& value)
{
    if (keyring_ && IsPasswordKey(key) && keyring_->SetPassword(key, value))
        return true;
    // QSettings goes on reporting its first error for good: a fresh one judges this write alone.
    if (settings_->status() != QSettings::NoError)
        open();
    settings_->setValue(QString(kSection) + '/' + storedKey(key), value);
    return sync();
}

bool SettingsStore::RemoveSetting(const QString& key)
{
    if (settings_->status() != QSettings::NoError)
        open();
    settings_->remove(QString(kSection) + '/' + storedKey(key));
    return sync();
}

bool SettingsStore::sync()
{
    settings_->sync();
    switch (settings_->status()) {
    case QSettings::NoError:
        lastError_.clear();
        // the file holds the mail and telephone passwords: for its owner's eyes only
        QFile::setPermissions(fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return true;
    case QSettings::AccessError:
        lastError_ = QStringLiteral("The settings file %1 cannot be written. Check that its folder exists "
                                    "and that you may write to it.")
                         .arg(fileName());
        break;
    case QSettings::FormatError:
        lastError_ = QStringLiteral("The settings file %1 is damaged and cannot be updated. Move it aside "
                                    "and start the program again.")
                         .arg(fileName());
        break;
    }
    return false;
}

} // namespace platform
