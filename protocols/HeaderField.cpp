// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/HeaderField.h"

QString HeaderField(const QString& headers, QStringView name)
{
    const QStringView block(headers);
    qsizetype at = 0;
    while (at < block.size()) {
        qsizetype end = block.indexOf(QLatin1Char('\n'), at);
        if (end < 0)
            end = block.size();
        const QStringView line = block.mid(at, end - at);
        at = end + 1;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0 || line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) != 0 || line.startsWith(' ')
            || line.startsWith('\t'))
            continue;
        QString value = line.mid(colon + 1).toString();
        // Continuation lines begin with a blank or a tab.
        while (at < block.size() && (block[at] == QLatin1Char(' ') || block[at] == QLatin1Char('\t'))) {
            qsizetype next = block.indexOf(QLatin1Char('\n'), at);
            if (next < 0)
                next = block.size();
            value += block.mid(at, next - at);
            at = next + 1;
        }
        value.remove(QLatin1Char('\r'));
        value = value.trimmed();
        return value.isNull() ? QStringLiteral("") : value;
    }
    return QString();
}
