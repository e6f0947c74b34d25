// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/SpamList.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QFile>
#include <QSaveFile>

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

namespace {

QStringList entriesOf(const QString& text)
{
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

// The entry as it is, when that reads back as itself; otherwise in double quotes.
QString recordOf(const QString& entry)
{
    if (ParseRecordLine(entry) == QStringList{entry})
        return entry;
    return QLatin1Char('"') + entry + QLatin1Char('"');
}

} // namespace

QStringList ReadListFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return entriesOf(platform::BytesToText(file.readAll(), platform::SystemAnsiCodePage()).text);
}

bool WriteListFile(const QString& path, const QStringList& entries, QString* error)
{
    auto failed = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    QString text;
    for (const QString& entry : entries)
        text += recordOf(entry) + QStringLiteral("\r\n");
    const int codePage = platform::SystemAnsiCodePage();
    const QByteArray bytes = platform::TextToBytes(text, codePage).bytes;
    // What the file will give back is what decides: a mismatch would change what is deleted.
    const QStringList readBack = entriesOf(platform::BytesToText(bytes, codePage).text);
    if (readBack != entries) {
        qsizetype i = 0;
        while (i < entries.size() && readBack.value(i) == entries[i])
            ++i;
        return failed(QStringLiteral("The spam entry \"%1\" cannot be kept: it would read back differently. "
                                     "Leave out its double quotes, its line breaks or the characters the "
                                     "system's code page lacks.")
                          .arg(entries.value(i)));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return failed(QStringLiteral("The spam list %1 cannot be written (%2). Give your user write access to it.")
                          .arg(path, file.errorString()));
    return true;
}

bool Matches(const QString& text, const QStringList& entries)
{
    for (const QString& entry : entries)
        if (!entry.isEmpty() && text.contains(entry, Qt::CaseSensitive))
            return true;
    return false;
}

} // namespace spam
