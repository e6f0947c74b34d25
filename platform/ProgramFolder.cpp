// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace platform {
namespace {

QMutex mutex;
QString overrideFolder;
QString resolvedFolder;

constexpr const char* kMarkerFile = "statement.ini"; // the data file every folder of ours holds

bool holdsData(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(QString::fromLatin1(kMarkerFile)));
}

QString resolve()
{
    const QString shipped = ShippedDataFolder();
    // A demo or a test run may keep its data files in a folder of its own.
    const QString chosen = qEnvironmentVariable("KORVALEN_PROGRAM_FOLDER");
    if (!chosen.isEmpty()) {
        SeedProgramFolder(shipped, chosen);
        return chosen;
    }
    if (!shipped.isEmpty() && shipped == QCoreApplication::applicationDirPath())
        return shipped;
    const QString user =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/korvalen");
    SeedProgramFolder(shipped, user);
    return user;
}

} // namespace

QString ShippedDataFolder()
{
    const QString program = QCoreApplication::applicationDirPath();
    if (program.isEmpty())
        return {};
    if (holdsData(program))
        return program;
    // The installation keeps the same layout under any prefix, so the data is found from the
    // program's own place rather than from where the build meant to install it.
    const QString installed = QDir::cleanPath(program + QStringLiteral("/" KORVALEN_DATA_FROM_PROGRAM));
    return holdsData(installed) ? installed : QString();
}

QStringList ShippedDataFiles()
{
    return QString::fromLatin1(KORVALEN_DATA_FILE_NAMES).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void SeedProgramFolder(const QString& source, const QString& folder)
{
    QDir().mkpath(folder);
    if (source.isEmpty())
        return;
    for (const QString& name : {QStringLiteral("spam.txt"), QStringLiteral("spamfrom.txt")}) {
        const QString target = QDir(folder).filePath(name);
        if (!QFileInfo::exists(target))
            QFile::copy(QDir(source).filePath(name), target);
    }
    // The program's own data follows the installed version, so an upgrade's new captions reach
    // every user; each file is replaced whole or not at all. A copy carries the shipped file's
    // time, so at start-up an unchanged file costs a look at its size and time, not a read.
    for (const QString& name : ShippedDataFiles()) {
        const QFileInfo shipped(QDir(source).filePath(name));
        const QFileInfo current(QDir(folder).filePath(name));
        if (!shipped.isFile()
            || (current.isFile() && current.size() == shipped.size()
                && current.lastModified() == shipped.lastModified()))
            continue;
        QFile in(shipped.filePath());
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = in.readAll();
        QSaveFile copy(current.filePath());
        if (copy.open(QIODevice::WriteOnly) && copy.write(content) == content.size() && copy.commit()) {
            QFile stamped(current.filePath());
            if (stamped.open(QIODevice::ReadWrite))
                stamped.setFileTime(shipped.lastModified(), QFileDevice::FileModificationTime);
        }
    }
}

QString ProgramFolder()
{
    QMutexLocker lock(&mutex);
    if (!overrideFolder.isEmpty())
        return overrideFolder;
    if (resolvedFolder.isEmpty())
        resolvedFolder = resolve();
    return resolvedFolder;
}

QString ProgramFolderProblem()
{
    const QString folder = ProgramFolder();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("The program folder %1 does not exist. Reinstall the program or create "
                              "the folder.")
            .arg(folder);
    QTemporaryFile probe(folder + QStringLiteral("/.write-test-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("The program folder %1 cannot be written: spam lists, the log and "
                              "retrieved mail cannot be saved. Give your user write access to it.")
            .arg(folder);
    return {};
}

void SetProgramFolderOverride(const QString& folder)
{
    QMutexLocker lock(&mutex);
    overrideFolder = folder;
}

} // namespace platform
