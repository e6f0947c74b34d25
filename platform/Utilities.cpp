// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utilities.h"

#include <QDir>
#include <QTemporaryFile>
#include <cmath>
#include <limits>
#include <optional>

namespace platform {

void DigitOnlyKeyFilter(int16_t& keyAscii)
{
    if (keyAscii != kKeyBackspace && (keyAscii < '0' || keyAscii > '9'))
        keyAscii = 0;
}

void DecimalKeyFilter(int16_t& keyAscii)
{
    if (keyAscii != kKeyBackspace && keyAscii != '.' && (keyAscii < '0' || keyAscii > '9'))
        keyAscii = 0;
}

namespace {

// A number as a person types it: blanks around it, a sign, digits with one decimal point,
// an exponent. Whole numbers round half to even, as the original's conversion did.
std::optional<double> parseNumber(const QString& raw)
{
    const QString t = raw.trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-'))
        ++i;
    int digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        if (t[i].isDigit() && t[i].unicode() < 128)
            ++digits;
        else if (t[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        int expDigits = 0;
        for (; i < n && t[i].unicode() < 128 && t[i].isDigit(); ++i)
            ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

} // namespace

QString ValidateNumberField(const QString& text, int32_t minimum, int32_t maximum, int32_t defaultValue)
{
    constexpr int kSignificantChars = 8; // only the first eight characters are judged
    const QString working = text.left(kSignificantChars);
    if (const auto v = parseNumber(working)) {
        const double rounded = std::nearbyint(*v); // half to even
        // A value beyond 32 bits is out of range, never an overflow.
        if (rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()
            && rounded >= minimum && rounded <= maximum)
            return text;
    }
    return QString::number(defaultValue);
}

QString ExtractAngleAddress(const QString& text)
{
    const qsizetype open = text.indexOf('<');
    if (open < 0)
        return text;
    const qsizetype close = text.indexOf('>', open + 1);
    if (close < 0)
        return text;
    return text.mid(open + 1, close - open - 1);
}

QString MakeTempFileName(const QString& folder)
{
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral("MXXXXXX.tmp")));
    file.setAutoRemove(false);
    if (!file.open())
        return {};
    return file.fileName();
}

bool CopyArrayTail(QByteArray& destination, const QByteArray& source, qsizetype start)
{
    if (start < 0 || start >= source.size()) {
        destination.clear();
        return false;
    }
    destination = source.mid(start);
    return true;
}

} // namespace platform
