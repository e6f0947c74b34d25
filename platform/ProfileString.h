// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// Reads one value of an initialization file ("[section]" lines and "key=value" lines) with the
// rules of Windows profile strings: section and key match whatever their capitals, blanks around
// names and values are dropped, a value wrapped in matching quotes loses them, lines starting
// with ';' are comments. The file is UTF-8. The result holds at most size - 1 characters.
// A missing file, section or key gives defaultValue.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue,
                                const QString& fileName, int size = 32767);
// The same lookup in the bytes of a file already read.
QString ProfileStringIn(const QByteArray& fileBytes, const QString& section, const QString& key,
                        const QString& defaultValue, int size = 32767);

} // namespace platform
