// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

namespace platform {

// Bytes in a Windows code page to text and back, with ICU's tables ("windows-950" Big5,
// "windows-936" GBK, "windows-1252" Western, and any other code page ICU knows by number).
// Bytes that do not map become U+FFFD; characters that do not map become '?'. The result
// says how many there were, so callers can tell a clean conversion from a lossy one.
struct TextConversion
{
    QString text;
    int unmapped = 0; // bytes or sequences that had no character
    int firstUnmapped = -1; // byte offset of the first of them
    bool converterFound = true;
    bool ok() const { return converterFound && unmapped == 0; }
};

struct BytesConversion
{
    QByteArray bytes;
    int unmapped = 0; // characters that have no bytes in the code page
    int firstUnmapped = -1; // UTF-16 offset of the first of them
    bool converterFound = true;
    bool ok() const { return converterFound && unmapped == 0; }
};

// Whether this system can convert the code page at all.
bool CodePageKnown(int codePage);

// Whether a code page reads bytes 0x00..0x7F as the characters U+0000..U+007F and back, as
// every code page of mail does; plain ASCII then converts without the tables.
bool CodePageKeepsAscii(int codePage);

TextConversion BytesToText(QByteArrayView bytes, int codePage);
BytesConversion TextToBytes(const QString& text, int codePage);

// Nothing above 0x7F.
bool IsAscii(QByteArrayView bytes);
bool IsAscii(QStringView text);

// The candidate code page that ICU's charset detector finds likeliest for the bytes, or 0 when
// there is no candidate. It scores 950 as Big5, 936 as GB18030, 1252 as windows-1252 or
// Latin-1 and 65001 as UTF-8; other code pages score nothing. Equal scores go to the candidate
// named first: short texts often score alike, since the detector needs some text to judge.
int LikeliestCodePage(const QByteArray& bytes, const QList<int>& candidates);

} // namespace platform
