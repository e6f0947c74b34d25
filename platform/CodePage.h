#pragma once
#include <QByteArray>
#include <QString>

namespace platform {

// Bytes in a Windows code page to text and back, with ICU's tables ("windows-950" Big5,
// "windows-936" GBK, "windows-1252" Western, and any other code page ICU knows by number).
// Bytes that do not map become U+FFFD; characters that do not map become '?'. The result
// says how many there were, so callers can tell a clean conversion from a lossy one.
struct TextConversion
{
    QString text;
    int unmapped = 0;          // bytes or sequences that had no character
    int firstUnmapped = -1;    // byte offset of the first of them
    bool converterFound = true;
    bool ok() const { return converterFound && unmapped == 0; }
};

struct BytesConversion
{
    QByteArray bytes;
    int unmapped = 0;          // characters that have no bytes in the code page
    int firstUnmapped = -1;    // UTF-16 offset of the first of them
    bool converterFound = true;
    bool ok() const { return converterFound && unmapped == 0; }
};

// Whether this system can convert the code page at all.
bool CodePageKnown(int codePage);

TextConversion BytesToText(const QByteArray& bytes, int codePage);
BytesConversion TextToBytes(const QString& text, int codePage);

} // namespace platform
