// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TCPsocket.h"

#include <QHostInfo>
#include <QTcpSocket>

namespace net {

TcpListener::~TcpListener()
{
    // Connections offered and never taken are closed with the listener.
    for (qintptr d : offered_) {
        QTcpSocket s;
        s.setSocketDescriptor(d);
    }
}

void TcpListener::incomingConnection(qintptr descriptor)
{
    offered_.insert(descriptor);
    emit connectionRequest(descriptor);
}

TCPsocket::TCPsocket(QObject* parent) : QObject(parent) { }

TCPsocket::~TCPsocket() = default;

void TCPsocket::SetControl(QTcpSocket* control)
{
    if (control_)
        disconnect(control_, nullptr, this, nullptr);
    control_ = control;
    connected_ = false;
    if (!control_)
        return;
    connect(control_, &QTcpSocket::readyRead, this, &TCPsocket::onReadyRead);
    connect(control_, &QTcpSocket::connected, this, &TCPsocket::onConnected);
    connect(control_, &QTcpSocket::disconnected, this, &TCPsocket::onDisconnected);
    connect(control_, &QTcpSocket::bytesWritten, this, &TCPsocket::onBytesWritten);
    connect(control_, &QTcpSocket::errorOccurred, this, &TCPsocket::onError);
    connected_ = control_->state() == QAbstractSocket::ConnectedState;
}

void TCPsocket::ConnectNow()
{
    if (control_ && remotePort_ > 0 && remotePort_ <= 65535)
        control_->connectToHost(remoteHost_, quint16(remotePort_));
}

bool TCPsocket::ListenSocket()
{
    listener_ = std::make_unique<TcpListener>();
    connect(listener_.get(), &TcpListener::connectionRequest, this,
            [this](qintptr d) { emit TCPConnectRequest(int32_t(d)); });
    if (localPort_ < 0 || localPort_ > 65535 || !listener_->listen(QHostAddress::Any, quint16(localPort_))) {
        listener_.reset();
        return false;
    }
    return true;
}

bool TCPsocket::AcceptConnect(int32_t requestId)
{
    if (!control_ || !listener_ || !listener_->take(qintptr(requestId)))
        return false;
    if (control_->state() != QAbstractSocket::UnconnectedState)
        control_->abort();
    if (!control_->setSocketDescriptor(qintptr(requestId)))
        return false;
    connected_ = true;
    return true;
}

void TCPsocket::CloseConnect()
{
    if (!control_ || control_->state() == QAbstractSocket::UnconnectedState)
        return;
    connected_ = false; // so the socket's own disconnected is not taken for the peer's
    control_->close();
    emit TCPClose(ClosedHere);
}

int16_t TCPsocket::sockState() const
{
    if (listener_ && listener_->isListening() && (!control_ || control_->state() == QAbstractSocket::UnconnectedState))
        return Listening;
    if (!control_)
        return Closed;
    switch (control_->state()) {
    case QAbstractSocket::UnconnectedState: return Closed;
    case QAbstractSocket::HostLookupState: return ResolvingHost;
    case QAbstractSocket::ConnectingState: return Connecting;
    case QAbstractSocket::ConnectedState: return Connected;
    case QAbstractSocket::BoundState: return Open;
    case QAbstractSocket::ListeningState: return Listening;
    case QAbstractSocket::ClosingState: return Closing;
    }
    return Error;
}

QString TCPsocket::RemoteIP() const
{
    return control_ ? control_->peerAddress().toString() : QString();
}

int32_t TCPsocket::LocalPort() const
{
    if (control_ && control_->state() == QAbstractSocket::ConnectedState)
        return control_->localPort();
    return listener_ && listener_->isListening() ? listener_->serverPort() : localPort_;
}

QString TCPsocket::LocalHostName() const
{
    return QHostInfo::localHostName();
}

QString TCPsocket::LocalIP() const
{
    return control_ ? control_->localAddress().toString() : QString();
}

void TCPsocket::SendMessage(int16_t code, const QByteArray& payload)
{
    busy_ = true;
    lastCommand_ = code;
    if (!control_ || control_->state() == QAbstractSocket::UnconnectedState)
        return;
    const int c = code < 0 ? 0 : code;
    QByteArray frame;
    frame.reserve(payload.size() + 2);
    frame.append(payload).append(char(c & 255)).append(char(c / 256));
    control_->write(frame);
}

void TCPsocket::onReadyRead()
{
    if (!control_)
        return;
    QByteArray bytes = control_->readAll();
    if (bytes.size() < 2)
        return; // no code to read
    const int high = quint8(bytes.back());
    const int low = quint8(bytes.at(bytes.size() - 2));
    const int code = low + 256 * high;
    bytes.chop(2);
    if (code < kFirstFrameCode)
        emit MessageArrival(bytes, code);
    else
        emit FrameArrival(bytes, code);
}

void TCPsocket::onConnected()
{
    connected_ = true;
    emit TCPConnect();
}

void TCPsocket::onDisconnected()
{
    if (!connected_)
        return;
    connected_ = false;
    emit TCPClose(ClosedByPeer);
}

void TCPsocket::onBytesWritten()
{
    if (control_ && control_->bytesToWrite() > 0)
        return; // the frame is not all out yet
    busy_ = false;
    emit SendComplete(lastCommand_);
}

void TCPsocket::onError()
{
    // The peer closing is a close, reported by disconnected, not a failed send.
    if (control_ && control_->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    emit TCPSendError(lastCommand_);
}

} // namespace net
