// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class QUdpSocket;

namespace net {

// Typed datagrams over a UDP socket lent by a form: each datagram is the payload followed by
// one byte holding the message type. The wrapper does not interpret the payload.
class UDPsocket : public QObject
{
    Q_OBJECT
public:
    // Datagrams this long or longer are read and dropped: no message of the call is that big.
    static constexpr int kMaxDatagram = 600;

    explicit UDPsocket(QObject* parent = nullptr);

    // Adopts the socket (closing it if it is open); the lender keeps owning it.
    void SetControl(QUdpSocket* control);
    // The busy flag shared with the form: set while a datagram is being handled; datagrams
    // that arrive meanwhile are dropped. Without one the wrapper keeps its own.
    void AssignBusy(bool* busy) { busy_ = busy ? busy : &ownBusy_; }

    // Closes the socket, makes the port both the remote and the local port and binds to it.
    // False (with ErrorText) when the port cannot be bound.
    bool setPort(int32_t port);
    // The local port; 0 when not bound.
    int32_t Port() const;
    bool isBound() const;

    QString RemoteHost() const { return remoteHost_; }
    void setRemoteHost(const QString& host) { remoteHost_ = host; }
    int32_t RemotePort() const { return remotePort_; }
    void setRemotePort(int32_t port) { remotePort_ = port; }
    // Makes the sender of the datagram being handled the remote host, and returns its address.
    QString RemoteIP();
    // Where the datagram being handled came from (valid during MessageArrival).
    QHostAddress SenderAddress() const { return sender_; }
    quint16 SenderPort() const { return senderPort_; }
    QString LocalHostName() const;
    QString LocalIP() const;
    QString ErrorText() const { return error_; }

    // Sends payload + type to the remote host and port as one datagram; errors are swallowed
    // (reported through DebugPrint).
    void SendMessage(quint8 type, const QByteArray& payload);

signals:
    void MessageArrival(quint8 type, const QByteArray& payload);
    void DebugPrint(const QString& text);

private:
    void onReadyRead();
    void onError();

    QPointer<QUdpSocket> control_;
    bool ownBusy_ = false;
    bool* busy_ = &ownBusy_;
    QString remoteHost_;
    int32_t remotePort_ = 0;
    QHostAddress sender_;
    quint16 senderPort_ = 0;
    QString error_;
};

} // namespace net
