// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/QXRSA_Encode.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

// a*b mod m as the 32-bit arithmetic does it: the product itself must fit in 32 bits.
std::optional<int32_t> MulMod(int32_t a, int32_t b, int32_t m)
{
    const int64_t product = int64_t(a) * int64_t(b);
    if (product > std::numeric_limits<int32_t>::max() || product < std::numeric_limits<int32_t>::min() || m == 0)
        return std::nullopt;
    return int32_t(product % m); // the sign follows the dividend
}

std::optional<int32_t> CheckedModPow(int32_t base, int32_t exponent, int32_t modulus)
{
    int32_t result = 1;
    int32_t b = base;
    int32_t e = exponent;
    while (e >= 1) {
        while (e % 2 == 0) {
            const auto square = MulMod(b, b, modulus);
            if (!square)
                return std::nullopt;
            b = *square;
            e /= 2;
        }
        const auto product = MulMod(result, b, modulus);
        if (!product)
            return std::nullopt;
        result = *product;
        e -= 1;
    }
    return result;
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int32_t ModPow(int32_t base, int32_t exponent, int32_t modulus, bool* ok)
{
    const auto result = CheckedModPow(base, exponent, modulus);
    if (ok)
        *ok = result.has_value();
    return result.value_or(0);
}

QString Encode(const QString& text, int32_t exponent, int32_t modulus)
{
    if (text.isEmpty())
        return {};
    // characters outside Latin-1 become '?', as the code page conversion makes them
    const QByteArray codes = text.toLatin1();
    QString out;
    out.reserve(codes.size() * 6);
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const auto value = CheckedModPow(uchar(codes.at(i)), exponent, modulus);
        if (!value)
            return {};
        if (i > 0)
            out += u'-';
        out += QString::number(*value);
    }
    return out;
}

double LenientNumber(QStringView piece)
{
    qsizetype i = 0;
    const qsizetype n = piece.size();
    while (i < n && (piece[i] == u' ' || piece[i] == u'\t'))
        ++i;
    QByteArray number;
    if (i < n && (piece[i] == u'+' || piece[i] == u'-'))
        number += char(piece[i++].unicode());
    bool digits = false;
    while (i < n && IsDigit(piece[i])) {
        number += char(piece[i++].unicode());
        digits = true;
    }
    if (i < n && piece[i] == u'.') {
        number += '.';
        ++i;
        while (i < n && IsDigit(piece[i])) {
            number += char(piece[i++].unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0;
    // an exponent counts only when digits follow it
    if (i + 1 < n && (piece[i] == u'e' || piece[i] == u'E' || piece[i] == u'd' || piece[i] == u'D')) {
        qsizetype j = i + 1;
        QByteArray exponent = "e";
        if (j < n && (piece[j] == u'+' || piece[j] == u'-'))
            exponent += char(piece[j++].unicode());
        if (j < n && IsDigit(piece[j])) {
            while (j < n && IsDigit(piece[j]))
                exponent += char(piece[j++].unicode());
            number += exponent;
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (ok)
        return value;
    // out of a double's range: what strtod makes of it (an infinity or 0)
    return std::strtod(number.constData(), nullptr);
}

QString Decode(const QString& numbers, int32_t exponent, int32_t modulus)
{
    QByteArray codes;
    qsizetype pos = 0;
    while (pos < numbers.size()) {
        qsizetype plus = numbers.indexOf(u'+', pos);
        if (plus < 0)
            plus = numbers.size();
        const double value = std::trunc(LenientNumber(QStringView(numbers).mid(pos, plus - pos)));
        if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
            return {};
        const auto code = CheckedModPow(int32_t(value), exponent, modulus);
        if (!code || *code < 0 || *code > 255)
            return {};
        codes += char(*code);
        pos = plus + 1;
    }
    return QString::fromLatin1(codes);
}
