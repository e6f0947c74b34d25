#include "mail/SpamList.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QFile>

namespace spam {

QStringList ParseRecordLine(const QString& line)
{
    QStringList fields;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        while (i < n && line[i] == ' ')
            ++i;
        QString field;
        if (i < n && line[i] == '"') {
            const qsizetype close = line.indexOf('"', i + 1);
            field = line.mid(i + 1, close < 0 ? -1 : close - i - 1);
            i = close < 0 ? n : close + 1;
            // anything between the closing quote and the next comma is dropped
            const qsizetype comma = line.indexOf(',', i);
            i = comma < 0 ? n : comma;
        } else {
            const qsizetype comma = line.indexOf(',', i);
            const qsizetype end = comma < 0 ? n : comma;
            field = line.mid(i, end - i);
            while (field.endsWith(' '))
                field.chop(1);
            i = end;
        }
        fields.append(field);
        if (i >= n)
            break;
        ++i; // past the comma
    }
    return fields;
}

QStringList ReadListFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text =
        platform::BytesToText(file.readAll(), platform::SystemAnsiCodePage()).text;
    QStringList entries;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QString line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        entries += ParseRecordLine(line);
    }
    return entries;
}

bool Matches(const QString& text, const QStringList& entries)
{
    for (const QString& entry : entries)
        if (!entry.isEmpty() && text.contains(entry, Qt::CaseSensitive))
            return true;
    return false;
}

} // namespace spam
