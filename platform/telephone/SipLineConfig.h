// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QString>

namespace platform {

class SettingsStore;

// One line device of the SIP line: an account at a provider or PBX, or a listener on a local
// UDP port that takes calls without registering.
struct SipLineConfig
{
    enum class Kind { Account, Direct };
    Kind kind = Kind::Account;
    QString identity; // account: sip:user@domain
    QString server; // account: registrar and proxy, host[:port]; direct: where plain numbers are dialled
    QString user; // account: authentication user name ("" = the identity's user)
    QString password; // account
    QString transport; // account: "udp" (default), "tcp" or "tls"
    int port = 0; // direct: the port listened on; account: the local port (0 = any)

    // The device name shown in the device list: "SIP alice@example.org", "SIP direct port 5070";
    // an account without an identity goes by its server, or by its position: "SIP line 2".
    QString name(int position) const;
    // "" when the entry can be used, else what is wrong with it, for the settings dialog.
    QString problem() const;

    bool operator==(const SipLineConfig&) const = default;
};

// The SIP line devices and the dialling prefix in the settings store (group "setting").
QList<SipLineConfig> LoadSipLines(const SettingsStore& store);
bool SaveSipLines(SettingsStore& store, const QList<SipLineConfig>& lines);
QString LoadSipDialPrefix(const SettingsStore& store);
bool SaveSipDialPrefix(SettingsStore& store, const QString& prefix);
// True for a prefix of digits, "*", "#" and "+" only (empty is fine).
bool IsValidDialPrefix(const QString& prefix);

// The user and the domain of an identity sip:user@domain ("" when it has none).
QString SipIdentityUser(const QString& identity);
QString SipIdentityDomain(const QString& identity);

} // namespace platform
