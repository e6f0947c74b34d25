// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A socket and a timer to lend the protocol clients in the fuzz targets: the target plays the
// server through the socket and fires the timer itself, so a whole session runs in one call
// without the network or the event loop.
#include <QByteArray>
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace fuzz {

class FakeSocket : public QTcpSocket
{
public:
    QByteArray written; // everything the client wrote, in order
    int connects = 0;

    void connectToHost(const QString&, quint16, OpenMode mode, NetworkLayerProtocol) override
    {
        ++connects;
        inbox_.clear();
        setOpenMode(mode | QIODevice::Unbuffered);
        setSocketState(ConnectingState);
    }
    // The server takes the connection.
    void accept()
    {
        if (state() != ConnectingState)
            return;
        setSocketState(ConnectedState);
        emit connected();
    }
    void serverSends(const QByteArray& bytes)
    {
        if (state() != ConnectedState)
            return;
        inbox_ += bytes;
        emit readyRead();
    }
    // The server closes: what it sent last may still be unread, as on a real socket.
    void serverCloses()
    {
        if (state() != ConnectedState)
            return;
        setSocketState(UnconnectedState);
        emit disconnected();
        inbox_.clear();
        setOpenMode(NotOpen);
    }
    void fails(SocketError error)
    {
        if (state() == UnconnectedState)
            return;
        setSocketError(error);
        emit errorOccurred(error);
    }
    // The client's own close (abort() ends here): a connected socket reports disconnected.
    void close() override
    {
        const bool was = state() == ConnectedState || state() == ClosingState;
        inbox_.clear();
        setOpenMode(NotOpen);
        setSocketState(UnconnectedState);
        if (was)
            emit disconnected();
    }
    qint64 bytesAvailable() const override { return inbox_.size(); }
    qint64 bytesToWrite() const override { return 0; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, inbox_.size());
        if (n > 0)
            std::memcpy(data, inbox_.constData(), size_t(n));
        inbox_.remove(0, qsizetype(n));
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        written.append(data, qsizetype(size));
        return size;
    }

private:
    QByteArray inbox_;
};

// A lent timer that only the target fires: it counts as running while started.
inline void Tick(QTimer& timer)
{
    if (timer.isActive())
        QMetaObject::invokeMethod(&timer, "timeout", Qt::DirectConnection);
}

// Queued notes the clients post for the log are delivered, not piled up.
inline void DeliverPosted()
{
    QCoreApplication::sendPostedEvents();
}

inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

} // namespace fuzz
