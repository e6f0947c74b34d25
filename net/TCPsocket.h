// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <cstdint>
#include <memory>
#include <set>

class QTcpSocket;

namespace net {

// Waits for connections on the stream wrapper's local port; each incoming connection is
// offered by its descriptor (the request identifier) until it is accepted.
class TcpListener : public QTcpServer
{
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
    ~TcpListener() override;
    // Hands the descriptor over (it is no longer closed with the listener).
    bool take(qintptr descriptor) { return offered_.erase(descriptor) > 0; }

signals:
    void connectionRequest(qintptr descriptor);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    std::set<qintptr> offered_;
};

// Command-coded frames over a TCP socket lent by a form: each frame is the payload followed by
// the code's low byte and high byte. A read delivers whatever has arrived: frames split or
// joined by the stream are not put back together.
class TCPsocket : public QObject
{
    Q_OBJECT
public:
    // Codes below this are messages; from it on, frames.
    static constexpr int kFirstFrameCode = 256;
    // Socket states as numbered for the form.
    enum SockState : int16_t {
        Closed = 0,
        Open = 1,
        Listening = 2,
        ConnectionPending = 3,
        ResolvingHost = 4,
        HostResolved = 5,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9
    };
    // Who ended a connection (TCPClose).
    enum ClosedBy : int { ClosedHere = 1, ClosedByPeer = 2 };

    explicit TCPsocket(QObject* parent = nullptr);
    ~TCPsocket() override;

    void SetControl(QTcpSocket* control);
    void ConnectNow();
    // Listens on the local port; false when the port is taken.
    bool ListenSocket();
    // Takes an offered connection as this wrapper's connection.
    bool AcceptConnect(int32_t requestId);
    void CloseConnect();
    int16_t sockState() const;
    int16_t LastCommand() const { return lastCommand_; }
    bool isSocketBusy() const { return busy_; }
    void AssignBusy(bool busy) { busy_ = busy; }
    bool isConnected() const { return connected_; }

    QString RemoteHost() const { return remoteHost_; }
    void setRemoteHost(const QString& host) { remoteHost_ = host; }
    QString RemoteIP() const;
    int32_t RemotePort() const { return remotePort_; }
    void setRemotePort(int32_t port) { remotePort_ = port; }
    int32_t LocalPort() const;
    void setLocalPort(int32_t port) { localPort_ = port; }
    QString LocalHostName() const;
    QString LocalIP() const;

    // Sends payload + low byte + high byte in one write (codes 0 to 32767).
    void SendMessage(int16_t code, const QByteArray& payload);

signals:
    void MessageArrival(const QByteArray& payload, int code);
    void FrameArrival(const QByteArray& payload, int code);
    void SendComplete(int16_t lastCommand);
    void TCPConnectRequest(int32_t requestId);
    void TCPSendError(int16_t lastCommand);
    void TCPConnect();
    void TCPClose(int who);

private:
    void onReadyRead();
    void onConnected();
    void onDisconnected();
    void onBytesWritten();
    void onError();

    QPointer<QTcpSocket> control_;
    std::unique_ptr<TcpListener> listener_;
    QString remoteHost_;
    int32_t remotePort_ = 0;
    int32_t localPort_ = 0;
    bool connected_ = false;
    bool busy_ = false;
    int16_t lastCommand_ = 0;
};

} // namespace net
