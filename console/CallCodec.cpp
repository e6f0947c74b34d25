// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CallCodec.h"

#include <algorithm>
#include <cstdint>

namespace callcodec {

namespace {

int32_t ModPow(int64_t base, int64_t exponent, int32_t modulus)
{
    if (modulus <= 0)
        return 0;
    int64_t result = 1, b = ((base % modulus) + modulus) % modulus;
    while (exponent >= 1) {
        while (exponent % 2 == 0) {
            b = b * b % modulus;
            exponent /= 2;
        }
        result = result * b % modulus;
        --exponent;
    }
    return int32_t(result);
}

// A lenient number: leading blanks skipped, reading stops at the first character that cannot
// continue it; nothing readable is 0.
int64_t LenientNumber(QStringView piece)
{
    qsizetype i = 0;
    while (i < piece.size() && piece[i] == u' ')
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == u'-' || piece[i] == u'+'))
        negative = piece[i++] == u'-';
    int64_t n = 0;
    for (; i < piece.size() && piece[i] >= u'0' && piece[i] <= u'9'; ++i)
        n = std::min<int64_t>(n * 10 + (piece[i].unicode() - u'0'), INT32_MAX);
    return negative ? -n : n;
}

} // namespace

QString Encode(const QString& text, int32_t exponent, int32_t modulus)
{
    QString out;
    const QByteArray codes = text.toLatin1();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        if (i)
            out += u'-';
        out += QString::number(ModPow(quint8(codes[i]), exponent, modulus));
    }
    return out;
}

QString Decode(const QString& numbers, int32_t exponent, int32_t modulus)
{
    QString out;
    if (numbers.isEmpty())
        return out;
    qsizetype at = 0;
    while (true) {
        const qsizetype plus = numbers.indexOf(u'+', at);
        const QStringView piece = QStringView(numbers).mid(at, plus < 0 ? -1 : plus - at);
        out += QChar(char16_t(ModPow(LenientNumber(piece), exponent, modulus) & 0xFFFF));
        if (plus < 0 || plus + 1 >= numbers.size())
            break;
        at = plus + 1;
    }
    return out;
}

QString EncodeText(const QString& text)
{
    return Encode(QString::fromLatin1(text.toUtf8()), kEncodeExponent, kModulus);
}

QString DecodeText(const QString& numbers)
{
    QString plus = numbers;
    plus.replace(u'-', u'+');
    const QString latin = Decode(plus, kDecodeExponent, kModulus);
    QByteArray bytes;
    bytes.reserve(latin.size());
    for (QChar c : latin)
        bytes.append(char(c.unicode() & 0xFF));
    return QString::fromUtf8(bytes);
}

} // namespace callcodec
