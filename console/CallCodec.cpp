// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CallCodec.h"

#include "console/QXRSA_Encode.h"

namespace callcodec {

QString EncodeText(const QString& text)
{
    return Encode(QString::fromLatin1(text.toUtf8()), kEncodeExponent, kModulus);
}

QString DecodeText(const QString& numbers)
{
    QString plus = numbers;
    plus.replace(u'-', u'+');
    return QString::fromUtf8(Decode(plus, kDecodeExponent, kModulus).toLatin1());
}

} // namespace callcodec
