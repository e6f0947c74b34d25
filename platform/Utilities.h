// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace platform {

constexpr int16_t kKeyBackspace = 8;

// Key filters: the key code passes or becomes 0, which discards the key.
void DigitOnlyKeyFilter(int16_t& keyAscii); // backspace and 0-9
void DecimalKeyFilter(int16_t& keyAscii); // backspace, '.' and 0-9

// The text to show when a numeric field is left: the text as typed when its first 8
// characters are a number within [minimum, maximum], otherwise the default.
QString ValidateNumberField(const QString& text, int32_t minimum, int32_t maximum, int32_t defaultValue);

// "Name <a@b>" gives "a@b"; a text without "<" and a later ">" is returned whole.
QString ExtractAngleAddress(const QString& text);

// Creates a new empty file named M<number>.tmp in the folder and returns its path,
// or an empty text when the folder cannot take one.
QString MakeTempFileName(const QString& folder);

// destination = source[start..end]. A start outside the source leaves the destination empty
// and returns false.
bool CopyArrayTail(QByteArray& destination, const QByteArray& source, qsizetype start);

// Debug output of the engines; the program shows none.
inline void DebugPrint(const QString&) { }

} // namespace platform
