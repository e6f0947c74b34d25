#include "platform/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

SingleInstance::SingleInstance(const QString& lockFolder)
{
    QString folder = lockFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    fileName_ = folder + QStringLiteral("/TNX_Korvalen.lock");
}

bool SingleInstance::PrevInstance()
{
    if (lock_ && lock_->isLocked())
        return false;
    lock_ = std::make_unique<QLockFile>(fileName_);
    lock_->setStaleLockTime(0); // a crashed copy's lock is taken over through its dead pid
    if (lock_->tryLock(0))
        return false;
    // A folder we cannot write is no evidence of another copy.
    return lock_->error() == QLockFile::LockFailedError;
}

} // namespace platform
