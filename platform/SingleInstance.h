#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

namespace platform {

// One running copy of the program per user: the first start holds a lock file in the user's
// runtime folder for as long as it runs; a later start finds it held.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& lockFolder = QString()); // default: the runtime folder
    // True when another running copy already holds the lock.
    bool PrevInstance();
    QString lockFileName() const { return fileName_; }

private:
    QString fileName_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace platform
