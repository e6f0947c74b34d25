// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/SettingsStore.h"
#include "platform/Utilities.h"

#include <QString>

// Keys of the settings store and their defaults on read.
namespace keys {

struct Key
{
    const char* name;
    const char* byDefault;
};

inline constexpr Key EmailUID{"EmailUID", ""};
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
