// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/UDPsocket.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QUdpSocket>

namespace net {

UDPsocket::UDPsocket(QObject* parent) : QObject(parent) { }

void UDPsocket::SetControl(QUdpSocket* control)
{
    if (control_)
        disconnect(control_, nullptr, this, nullptr);
    control_ = control;
    if (!control_)
        return;
    if (control_->state() != QAbstractSocket::UnconnectedState)
        control_->close();
    connect(control_, &QUdpSocket::readyRead, this, &UDPsocket::onReadyRead);
    connect(control_, &QUdpSocket::errorOccurred, this, &UDPsocket::onError);
}

bool UDPsocket::setPort(int32_t port)
{
    error_.clear();
    if (!control_) {
        error_ = QStringLiteral("No socket was lent to the UDP wrapper.");
        return false;
    }
    control_->close();
    remotePort_ = port;
    if (port < 0 || port > 65535) {
        error_ = QStringLiteral("The port %1 is not between 0 and 65535.").arg(port);
        return false;
    }
    if (!control_->bind(QHostAddress::AnyIPv4, quint16(port), QAbstractSocket::DontShareAddress)) {
        error_ = QStringLiteral("UDP port %1 cannot be used: %2").arg(port).arg(control_->errorString());
        return false;
    }
    return true;
}

int32_t UDPsocket::Port() const
{
    return control_ ? control_->localPort() : 0;
}

bool UDPsocket::isBound() const
{
    return control_ && control_->state() == QAbstractSocket::BoundState;
}

QString UDPsocket::RemoteIP()
{
    if (!sender_.isNull())
        remoteHost_ = sender_.toString();
    return remoteHost_;
}

QString UDPsocket::LocalHostName() const
{
    return QHostInfo::localHostName();
}

QString UDPsocket::LocalIP() const
{
    return control_ ? control_->localAddress().toString() : QString();
}

void UDPsocket::SendMessage(quint8 type, const QByteArray& payload)
{
    if (!control_)
        return;
    QHostAddress to(remoteHost_);
    if (to.isNull()) {
        emit DebugPrint(QStringLiteral("UDP send: %1 is not an address").arg(remoteHost_));
        return;
    }
    if (remotePort_ <= 0 || remotePort_ > 65535) {
        emit DebugPrint(QStringLiteral("UDP send: no remote port"));
        return;
    }
    QByteArray datagram;
    datagram.reserve(payload.size() + 1);
    datagram.append(payload).append(char(type));
    if (control_->writeDatagram(datagram, to, quint16(remotePort_)) < 0)
        emit DebugPrint(QStringLiteral("UDP send: ") + control_->errorString());
}

void UDPsocket::onReadyRead()
{
    while (control_ && control_->hasPendingDatagrams()) {
        const QNetworkDatagram d = control_->receiveDatagram();
        const QByteArray bytes = d.data();
        if (bytes.isEmpty() || bytes.size() >= kMaxDatagram || *busy_)
            continue; // read and dropped
        *busy_ = true;
        sender_ = d.senderAddress();
        senderPort_ = d.senderPort() < 0 ? 0 : quint16(d.senderPort());
        const quint8 type = quint8(bytes.back());
        emit MessageArrival(type, bytes.left(bytes.size() - 1));
        *busy_ = false;
    }
}

void UDPsocket::onError()
{
    if (!control_)
        return;
    emit DebugPrint(QStringLiteral("UDP error: ") + control_->errorString());
    control_->close();
}

} // namespace net
