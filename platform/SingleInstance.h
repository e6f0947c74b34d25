// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

namespace platform {

// One running copy of the program per user: the first start holds a lock file in the user's
// runtime folder for as long as it runs; a later start finds it held. The first copy also
// listens on a local socket beside the lock, so that a later start can ask it to come to the
// front instead of ending unseen.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& lockFolder = QString()); // default: the runtime folder
    ~SingleInstance() override;
    // True when another running copy already holds the lock.
    bool PrevInstance();
    // Whether the last PrevInstance found another copy.
    bool anotherCopyRuns() const { return anotherCopyRuns_; }
    QString lockFileName() const { return fileName_; }
    QString socketName() const { return socketName_; }

    // The copy that holds the lock listens for later starts; false (with a reason) when it
    // cannot, and the program runs on without.
    bool Listen(QString* problem = nullptr);
    // A later start asks the running copy to show its window. done(true) once that copy has
    // confirmed, done(false, why) when it cannot be reached or does not answer in time.
    void AskRunningCopyToShow(std::function<void(bool shown, const QString& why)> done, int timeoutMs = 5000);

signals:
    // A later start asked this copy to show its window.
    void ShowRequested();

private:
    void onNewConnection();

    QString fileName_;
    QString socketName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool anotherCopyRuns_ = false;
};

} // namespace platform
