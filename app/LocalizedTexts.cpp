// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LocalizedTexts.h"

#include "platform/ProfileString.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/SystemLocale.h"

QString ReadStatementText(const QString& section, const QString& key)
{
    constexpr int kBufferChars = 199; // longer captions are cut
    QString text = platform::GetPrivateProfileString(
        section, key, QString(), platform::ProgramFolder() + QStringLiteral("/statement.ini"), kBufferChars);
    // Blanks around the text and NULs at its end are not part of it.
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    text = text.mid(begin, end - begin);
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

QString LanguageLetter(int lcid)
{
    switch (platform::MapLcid(lcid)) {
    case platform::kLcidTraditionalChinese: return QStringLiteral("T");
    case platform::kLcidSimplifiedChinese: return QStringLiteral("S");
    default: return QStringLiteral("E");
    }
}

QString LocalText(const char* stem, const char* key, const char* english)
{
    return LocalText(LanguageLetter(platform::Globals().lcid), stem, key, english);
}

QString LocalText(const QString& letter, const char* stem, const char* key, const char* english)
{
    QString text = ReadStatementText(letter + QLatin1String(stem), QLatin1String(key));
    if (text.isEmpty())
        return QString::fromUtf8(english);
    // a line of the file holds no line break: "\n" stands for one
    return text.replace(QLatin1String("\\n"), QLatin1String("\n"));
}
