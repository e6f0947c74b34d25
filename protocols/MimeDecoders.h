// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The decoders behind CMessage. Each produces bytes; text is made from the bytes with the code
// page of the charset code (2 Big5, 3 GB2312, others the system's).
namespace mime {

int ClassifyCharset(QByteArrayView name);
int ClassifyTransferEncoding(QByteArrayView name);
// 2 -> 950, 3 -> 936, anything else the system code page.
int CodePageOfCharset(int charsetCode);

// Groups of four; a line break is skipped only where a group would start.
QByteArray DecodeBase64(QByteArrayView text);
// A soft line break gives one blank; "_" stays as it is.
QByteArray DecodeQuotedPrintable(QByteArrayView text);
// Two- and three-byte sequences; any other byte is the system code page's character for it.
QString DecodeUtf8(QByteArrayView bytes);
// Base64 for code 3, quoted-printable for code 2, otherwise the bytes as received.
QByteArray DecodePayload(QByteArrayView text, int transferCode);

// The first encoded word of a Subject or From value, or the plain value cut before "<".
struct DecodedWord
{
    QString text;
    QByteArray bytes;
    int charset = 0;
};
DecodedWord DecodeHeaderWord(QByteArrayView value, int charsetIn);

// Bytes read in the charset's code page; UTF-8 through DecodeUtf8.
QString TextOfBytes(QByteArrayView bytes, int charsetCode);

} // namespace mime
