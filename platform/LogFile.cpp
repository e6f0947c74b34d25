// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LogFile.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace platform {

namespace {

// A field between double quotes: a quote inside is doubled, and what would end the line or
// garble it (control characters, line and paragraph separators) becomes a blank.
QString Quoted(const QString& text)
{
    QString field;
    field.reserve(text.size() + 2);
    field += u'"';
    for (const QChar c : text) {
        if (c == u'"')
            field += QStringLiteral("\"\"");
        else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            field += u' ';
        else
            field += c;
    }
    field += u'"';
    return field;
}

} // namespace

bool AppendLogRecord(const QString& logName, const QString& category, const QString& message)
{
    QFile file(QDir(ProgramFolder()).filePath(logName + QStringLiteral(".log")));
    if (!file.open(QIODevice::Append))
        return false;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(AppClock().msecsSinceEpoch());
    const QString line = u'#' + now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral("#,")
                         + Quoted(category) + u',' + Quoted(message);
    const QByteArray bytes = TextToBytes(line + QStringLiteral("\r\n"), SystemAnsiCodePage()).bytes;
    return file.write(bytes) == bytes.size();
}

} // namespace platform
