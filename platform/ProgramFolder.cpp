#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace platform {
namespace {

QMutex mutex;
QString overrideFolder;
QString resolvedFolder;

constexpr const char* kMarkerFile = "statement.ini"; // the data file every folder of ours holds

// Copies the data files (captions, sounds, pictures, lists) the folder does not have yet; the
// user's own spam lists and log are never overwritten.
void seedFrom(const QString& installed, const QString& folder)
{
    QDir().mkpath(folder);
    const QDir source(installed);
    const QStringList dataFiles = {"*.ini", "*.wav", "*.bmp", "*.txt"};
    for (const QFileInfo& f : source.entryInfoList(dataFiles, QDir::Files)) {
        const QString target = folder + '/' + f.fileName();
        if (!QFileInfo::exists(target))
            QFile::copy(f.absoluteFilePath(), target);
    }
}

QString resolve()
{
    // A demo or a test run may keep its data files in a folder of its own.
    const QString beside = QCoreApplication::applicationDirPath();
    const bool besideHasData = !beside.isEmpty() && QFileInfo::exists(beside + '/' + kMarkerFile);
    const QString chosen = qEnvironmentVariable("KORVALEN_PROGRAM_FOLDER");
    if (!chosen.isEmpty()) {
        seedFrom(besideHasData ? beside : QStringLiteral(KORVALEN_INSTALLED_DATA_DIR), chosen);
        return chosen;
    }
    if (besideHasData)
        return beside;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QStringLiteral("/korvalen");
    seedFrom(QStringLiteral(KORVALEN_INSTALLED_DATA_DIR), user);
    return user;
}

} // namespace

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
                              "the folder.").arg(folder);
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
