// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

namespace platform {

namespace {

// What a later start says, and what the running copy answers once its window is in front.
constexpr char kShowRequest[] = "show\n";
constexpr char kShownReply[] = "shown\n";
constexpr qint64 kRequestCap = 64; // a line longer than any request is not one

} // namespace

SingleInstance::SingleInstance(const QString& lockFolder)
{
    QString folder = lockFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    fileName_ = folder + QStringLiteral("/TNX_Korvalen.lock");
    socketName_ = folder + QStringLiteral("/TNX_Korvalen.socket");
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close(); // removes the socket file while the lock is still held
}

bool SingleInstance::PrevInstance()
{
    if (lock_ && lock_->isLocked())
        return false;
    lock_ = std::make_unique<QLockFile>(fileName_);
    lock_->setStaleLockTime(0); // a crashed copy's lock is taken over through its dead pid
    if (lock_->tryLock(0)) {
        anotherCopyRuns_ = false;
        return false;
    }
    // A folder we cannot write is no evidence of another copy.
    anotherCopyRuns_ = lock_->error() == QLockFile::LockFailedError;
    return anotherCopyRuns_;
}

bool SingleInstance::Listen(QString* problem)
{
    if (server_)
        return true;
    if (!lock_ || !lock_->isLocked()) {
        if (problem)
            *problem = QStringLiteral("not the running copy");
        return false;
    }
    // Holding the lock, any socket left here is a crashed copy's.
    QLocalServer::removeServer(socketName_);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketName_)) {
        if (problem)
            *problem = QStringLiteral("cannot listen on %1: %2").arg(socketName_, server->errorString());
        delete server;
        return false;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
            if (!peer->canReadLine()) {
                if (peer->bytesAvailable() > kRequestCap)
                    peer->abort();
                return;
            }
            const QByteArray line = peer->readLine(kRequestCap);
            if (line != kShowRequest) {
                peer->abort(); // not one of ours
                return;
            }
            emit ShowRequested();
            peer->write(kShownReply);
            peer->disconnectFromServer();
        });
    }
}

void SingleInstance::AskRunningCopyToShow(std::function<void(bool, const QString&)> done, int timeoutMs)
{
    auto* socket = new QLocalSocket(this);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    // Exactly one answer, then the socket goes.
    auto finish = [socket, done = std::move(done)](bool shown, const QString& why) mutable {
        if (!done)
            return;
        auto call = std::move(done);
        done = nullptr;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        call(shown, why);
    };
    auto shared = std::make_shared<decltype(finish)>(std::move(finish));
    connect(socket, &QLocalSocket::connected, socket, [socket] { socket->write(kShowRequest); });
    connect(socket, &QLocalSocket::readyRead, socket, [socket, shared] {
        if (!socket->canReadLine())
            return;
        if (socket->readLine(kRequestCap) == kShownReply)
            (*shared)(true, QString());
        else
            (*shared)(false, QStringLiteral("it gave an answer this version does not know"));
    });
    connect(socket, &QLocalSocket::errorOccurred, socket, [socket, shared](QLocalSocket::LocalSocketError error) {
        if (error == QLocalSocket::PeerClosedError && socket->canReadLine())
            return; // the answer is read first
        (*shared)(false, socket->errorString());
    });
    connect(timer, &QTimer::timeout, socket, [shared, timeoutMs] {
        (*shared)(false, QStringLiteral("it did not answer within %1 s").arg(timeoutMs / 1000.0));
    });
    timer->start(timeoutMs);
    socket->connectToServer(socketName_);
}

} // namespace platform
