// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/SettingsStore.h"
#include "platform/Utilities.h"
#include "protocols/CertificateTrust.h"

#include <QString>

// Keys of the settings store and their defaults on read.
namespace keys {

struct Key
{
    const char* name;
    const char* byDefault;
};

inline constexpr Key EmailUID{"EmailUID", ""};
// TLS and the SMTP login. A fresh profile gets what mail providers ask for today; a profile
// saved before these keys existed keeps its plain connections (see MailDefaults).
inline constexpr Key popsecurity{"popsecurity", "tls"};
inline constexpr Key smtpsecurity{"smtpsecurity", "starttls"};
inline constexpr Key SmtpUID{"SmtpUID", ""}; // empty: no login
inline constexpr Key SmtpPw{"SmtpPw", ""};
// Certificates the user trusts although no CA vouches for them: "host:port=fingerprint" entries
// separated by blanks.
inline constexpr Key TrustedCerts{"TrustedCerts", ""};
inline constexpr Key EmailPw{"EmailPw", ""};
inline constexpr Key popserver{"popserver", ""};
inline constexpr Key popport{"popport", "110"};
inline constexpr Key smtpserver{"smtpserver", "smtp."};
inline constexpr Key smtpport{"smtpport", "25"};
inline constexpr Key Emailvoicefile{"Emailvoicefile", ""}; // default: the localized announcement
inline constexpr Key Emailcount{"Emailcount", "1"};
inline constexpr Key autoreplymessage{"autoreplymessage",
                                      "This is Auto reply, Message received, you may call my cell phone."};
inline constexpr Key autoreplycheck{"autoreplycheck", "0"};
inline constexpr Key autoreplydays{"autoreplydays", "7"};
inline constexpr Key minute{"minute", "10"};
inline constexpr Key logcheck{"logcheck", "0"};
inline constexpr Key toolTips{"toolTips", "1"};
inline constexpr Key voicecall{"voicecall", "1"};
inline constexpr Key AutoAnsCheck{"AutoAnsCheck", "1"};
inline constexpr Key voicemodem0{"voicemodem0", "-1"};
inline constexpr Key ringsAnswer{"ringsAnswer", "2"};
inline constexpr Key phone1{"phone1", ""};
inline constexpr Key repeatvoice{"repeatvoice", "16"};
inline constexpr Key hangupTime{"hangupTime", "10"};
inline constexpr Key PhonePin{"PhonePin", "4071"};
// Unanswered internet calls go to the voice menu.
inline constexpr Key VOIPForward{"VOIPForward", "0"};
inline constexpr Key VoiceName{"VoiceName", "-1"};
inline constexpr Key SoundRate{"SoundRate", "3"};
inline constexpr Key SoundVolume{"SoundVolume", "99"};
inline constexpr Key AudioDevice{"AudioDevice", "0"};
inline constexpr Key Sounddevice{"Sounddevice", "-1"};
inline constexpr Key FirstRunning{"FirstRunning", "0"};
inline constexpr Key Loginname{"Loginname", ""};
inline constexpr Key LoginPw{"LoginPw", "4071"};
inline constexpr Key notifyNewMail{"notifyNewMail", "1"}; // new mail on the desktop

// A key's stored text, or its default.
inline QString Read(const platform::SettingsStore& store, const Key& key)
{
    return store.GetSetting(QString::fromLatin1(key.name), QString::fromLatin1(key.byDefault));
}

// The usual port for each protection.
inline int PopPortFor(MailSecurity security)
{
    return security == MailSecurity::Tls ? 995 : 110;
}
inline int SmtpPortFor(MailSecurity security)
{
    return security == MailSecurity::Tls ? 465 : security == MailSecurity::StartTls ? 587 : 25;
}

// Security and port defaults of a profile: TLS for a fresh one, plain for one that holds an
// account saved before the security keys existed, so that it keeps working as it did.
struct MailDefaults
{
    MailSecurity pop = MailSecurity::Tls;
    MailSecurity smtp = MailSecurity::StartTls;

    explicit MailDefaults(const platform::SettingsStore& store)
    {
        const QString absent = QStringLiteral("<absent>");
        const auto has = [&](const Key& key) {
            return store.GetSetting(QString::fromLatin1(key.name), absent) != absent;
        };
        if (!has(popsecurity) && (has(popserver) || has(EmailUID) || has(popport)))
            pop = MailSecurity::None;
        if (!has(smtpsecurity) && (has(popserver) || has(EmailUID) || has(smtpport)))
            smtp = MailSecurity::None;
    }
    MailSecurity popSecurity(const platform::SettingsStore& store) const
    {
        return MailSecurityFromText(store.GetSetting(QString::fromLatin1(popsecurity.name), QString()), pop);
    }
    MailSecurity smtpSecurity(const platform::SettingsStore& store) const
    {
        return MailSecurityFromText(store.GetSetting(QString::fromLatin1(smtpsecurity.name), QString()), smtp);
    }
    QString popPort(const platform::SettingsStore& store) const
    {
        return store.GetSetting(QString::fromLatin1(popport.name), QString::number(PopPortFor(popSecurity(store))));
    }
    QString smtpPort(const platform::SettingsStore& store) const
    {
        return store.GetSetting(QString::fromLatin1(smtpport.name), QString::number(SmtpPortFor(smtpSecurity(store))));
    }
};

// The fingerprint trusted for server ("host:port"), or empty.
inline QString TrustedCertificate(const platform::SettingsStore& store, const QString& server)
{
    for (const QString& entry : Read(store, TrustedCerts).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq > 0 && entry.left(eq).compare(server, Qt::CaseInsensitive) == 0)
            return entry.mid(eq + 1);
    }
    return {};
}

// Trusts one certificate for server, in place of any trusted before; false when the store
// could not be written or the server or fingerprint cannot be stored.
inline bool TrustCertificate(platform::SettingsStore& store, const QString& server, const QString& fingerprint)
{
    const QString print = CertificateTrust::NormalizedFingerprint(fingerprint);
    if (print.isEmpty() || server.isEmpty() || server.contains(QLatin1Char(' ')) || server.contains(QLatin1Char('=')))
        return false;
    QStringList kept;
    for (const QString& entry : Read(store, TrustedCerts).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (entry.section(QLatin1Char('='), 0, 0).compare(server, Qt::CaseInsensitive) != 0)
            kept << entry;
    kept << server.toLower() + QLatin1Char('=') + print;
    return store.SaveSetting(QString::fromLatin1(TrustedCerts.name), kept.join(QLatin1Char(' ')));
}

// The stored text as a whole number; text that is not one reads as 0 (ok tells).
inline int ReadInt(const platform::SettingsStore& store, const Key& key, bool* ok = nullptr)
{
    return Read(store, key).trimmed().toInt(ok);
}

// Ranges of the numeric fields, checked when a field is left.
struct Range
{
    int min;
    int max;
    int byDefault;
};

inline constexpr Range popportRange{1, 65535, 110};
inline constexpr Range smtpportRange{1, 65535, 25};
inline constexpr Range EmailcountRange{0, 99, 1};
inline constexpr Range minuteRange{10, 60, 60};
inline constexpr Range repeatvoiceRange{2, 99, 16};
inline constexpr Range hangupTimeRange{2, 60, 10};
inline constexpr Range ringsAnswerRange{1, 99, 2};
// 0 answers every new mail; a year is the longest the engine remembers a sender.
inline constexpr Range autoreplydaysRange{0, 365, 7};
// The wizard keeps to the main window's interval, so the main window keeps what it saved;
// only its default differs.
inline constexpr Range wizardMinuteRange{minuteRange.min, minuteRange.max, 10};

// The text a numeric field keeps when left: as typed when in range, otherwise the default.
inline QString InRange(const QString& text, const Range& range)
{
    return platform::ValidateNumberField(text, range.min, range.max, range.byDefault);
}

} // namespace keys
