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

// The data files the program ships (KORVALEN_DATA_FILES in the build), and the user's spam lists.
QStringList seededFiles()
{
    QStringList names = {QString::fromLatin1(kMarkerFile)};
    for (const char* sound : {"signon", "signoff", "1", "2", "3", "ring1", "ring2"})
        names << QString::fromLatin1(sound) + QStringLiteral(".wav");
    for (const char* picture : {"phoneon", "phoneoff", "onbutton", "offbutton"})
        names << QString::fromLatin1(picture) + QStringLiteral(".bmp");
    for (int mouth = 1; mouth <= 21; ++mouth) // one picture for each mouth shape
        names << QStringLiteral("mouth%1.bmp").arg(mouth, 2, 10, QLatin1Char('0'));
    return names << QStringLiteral("spam.txt") << QStringLiteral("spamfrom.txt");
}

QString resolve()
{
    // A demo or a test run may keep its data files in a folder of its own.
    const QString beside = QCoreApplication::applicationDirPath();
    const bool besideHasData = !beside.isEmpty() && QFileInfo::exists(beside + '/' + kMarkerFile);
    const QString chosen = qEnvironmentVariable("KORVALEN_PROGRAM_FOLDER");
    if (!chosen.isEmpty()) {
        SeedProgramFolder(besideHasData ? beside : QStringLiteral(KORVALEN_INSTALLED_DATA_DIR), chosen);
        return chosen;
    }
    if (besideHasData)
        return beside;
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QStringLiteral("/korvalen");
    SeedProgramFolder(QStringLiteral(KORVALEN_INSTALLED_DATA_DIR), user);
    return user;
}

} // namespace

void SeedProgramFolder(const QString& source, const QString& folder)
{
    QDir().mkpath(folder);
    for (const QString& name : seededFiles()) {
        const QString target = QDir(folder).filePath(name);
        if (!QFileInfo::exists(target))
            QFile::copy(QDir(source).filePath(name), target);
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
