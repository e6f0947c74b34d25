// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProfileString.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringDecoder>

namespace platform {
namespace {

constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024; // a captions file is a few kilobytes

using Sections = QHash<QString, QHash<QString, QString>>; // folded section -> folded key -> value

QString unquote(QString value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

Sections parse(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    Sections sections;
    QHash<QString, QString>* current = nullptr;
    for (QStringView line : QStringView(text).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            if (close < 0)
                continue;
            current = &sections[line.mid(1, close - 1).trimmed().toString().toCaseFolded()];
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!current || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toString().toCaseFolded();
        if (!current->contains(key)) // the first of two equal keys wins
            current->insert(key, unquote(line.mid(eq + 1).trimmed().toString()));
    }
    return sections;
}

QString lookUp(const Sections& sections, const QString& section, const QString& key, const QString& defaultValue,
               int size)
{
    const auto s = sections.constFind(section.trimmed().toCaseFolded());
    if (s == sections.constEnd())
        return defaultValue.left(size - 1);
    const auto v = s->constFind(key.trimmed().toCaseFolded());
    return (v == s->constEnd() ? defaultValue : *v).left(size - 1);
}

struct CachedFile
{
    QDateTime modified;
    qint64 size = -1;
    Sections sections;
};

} // namespace

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultValue,
                                const QString& fileName, int size)
{
    static QMutex mutex;
    static QHash<QString, CachedFile> cache;

    const QFileInfo info(fileName);
    if (!info.isFile() || size <= 1)
        return size <= 1 ? QString() : defaultValue.left(size - 1);

    QMutexLocker lock(&mutex);
    CachedFile& cached = cache[info.absoluteFilePath()];
    if (cached.size != info.size() || cached.modified != info.lastModified()) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return defaultValue.left(size - 1);
        cached.sections = parse(file.read(kMaxFileBytes));
        cached.size = info.size();
        cached.modified = info.lastModified();
    }
    return lookUp(cached.sections, section, key, defaultValue, size);
}

QString ProfileStringIn(const QByteArray& fileBytes, const QString& section, const QString& key,
                        const QString& defaultValue, int size)
{
    if (size <= 1)
        return QString();
    return lookUp(parse(fileBytes.left(kMaxFileBytes)), section, key, defaultValue, size);
}

} // namespace platform
