#include "platform/LogFile.h"

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace platform {

bool AppendLogRecord(const QString& logName, const QString& category, const QString& message)
{
    QFile file(QDir(ProgramFolder()).filePath(logName + QStringLiteral(".log")));
    if (!file.open(QIODevice::Append))
        return false;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(AppClock().msecsSinceEpoch());
    QString line = QStringLiteral("#%1#,\"%2\",\"%3\"")
                       .arg(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), category, message);
    line.replace('\r', ' ').replace('\n', ' '); // one record per line
    const QByteArray bytes = TextToBytes(line + QStringLiteral("\r\n"), SystemAnsiCodePage()).bytes;
    return file.write(bytes) == bytes.size();
}

} // namespace platform
