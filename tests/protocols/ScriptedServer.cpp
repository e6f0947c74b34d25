// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>

namespace {
bool clientStep(const QByteArray& step)
{
    return step.startsWith("C:") || step.startsWith("C~");
}
} // namespace

void ScriptedListener::incomingConnection(qintptr descriptor)
{
    if (!tls)
        return QTcpServer::incomingConnection(descriptor);
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    addPendingConnection(socket);
}

void ScriptedServer::useTls(const QSslCertificate& certificate, const QSslKey& key, bool implicit)
{
    server_.tls = true;
    implicitTls_ = implicit;
    tlsConfig_ = QSslConfiguration::defaultConfiguration();
    tlsConfig_.setLocalCertificate(certificate);
    tlsConfig_.setPrivateKey(key);
    tlsConfig_.setPeerVerifyMode(QSslSocket::VerifyNone);
}

// The client's lines wait until TLS is up; a refused handshake simply ends the connection.
void ScriptedServer::startTls()
{
    auto* ssl = qobject_cast<QSslSocket*>(client_.data());
    if (!ssl) {
        faults_ << QStringLiteral("TLS step without useTls");
        return;
    }
    paused_ = true;
    ssl->setSslConfiguration(tlsConfig_);
    ssl->startServerEncryption();
}

ScriptedServer::ScriptedServer(QList<QByteArray> steps, int pauseMs) : steps_(std::move(steps)), pauseMs_(pauseMs)
{
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::onConnection);
    connect(&trickleTimer_, &QTimer::timeout, this, [this] { // one byte per pause, then the next step
        if (trickling_.isEmpty()) {
            trickleTimer_.stop();
            return play();
        }
        write(trickling_.left(1));
        trickling_.remove(0, 1);
    });
    trickleTimer_.setInterval(pauseMs_);
    if (!server_.listen(QHostAddress::LocalHost, 0))
        faults_ << QStringLiteral("cannot listen: ") + server_.errorString();
}

QString ScriptedServer::report() const
{
    QStringList lines = faults_;
    if (next_ < steps_.size())
        lines << QStringLiteral("stopped before step %1: %2").arg(next_).arg(QString::fromLatin1(steps_[next_]));
    return lines.join(QLatin1Char('\n'));
}

// The client socket goes with the listening server, after this object's timer: its last
// reports must not reach this object any more.
ScriptedServer::~ScriptedServer()
{
    if (client_)
        client_->disconnect(this);
}

void ScriptedServer::onConnection()
{
    QTcpSocket* socket = server_.nextPendingConnection();
    if (connected_) { // one scenario, one client
        faults_ << QStringLiteral("a second connection");
        socket->abort();
        socket->deleteLater();
        return;
    }
    connected_ = true;
    client_ = socket;
    // Each segment leaves at once, not held back until the last one is acknowledged.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, &ScriptedServer::onClientData);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        trickleTimer_.stop();
        if (client_)
            client_->deleteLater();
    });
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, &ScriptedServer::play);
        if (implicitTls_)
            return startTls();
    }
    play();
}

void ScriptedServer::write(const QByteArray& bytes)
{
    if (client_ && !bytes.isEmpty()) {
        client_->write(bytes);
        client_->flush();
    }
}

// Sends the server's steps up to the next client line, a pause, or the end.
void ScriptedServer::play()
{
    paused_ = false;
    QByteArray out;
    while (!stopped_ && next_ < steps_.size()) {
        const QByteArray step = steps_[next_];
        const QByteArray kind = step.left(2);
        const QByteArray text = step.mid(3);
        if (clientStep(step))
            break;
        ++next_;
        if (kind == "S:") {
            out += text + "\r\n";
        } else if (kind == "S|") {
            write(out + text);
            out.clear();
            if (next_ < steps_.size() && !clientStep(steps_[next_])) { // pause between server segments only
                paused_ = true;
                QTimer::singleShot(pauseMs_, this, &ScriptedServer::play);
                return;
            }
        } else if (kind == "S*") {
            write(out);
            trickling_ = text;
            paused_ = true;
            trickleTimer_.start();
            return;
        } else if (step == "TLS") {
            write(out);
            return startTls();
        } else if (step == "CLOSE") {
            write(out);
            if (client_)
                client_->disconnectFromHost();
            return;
        } else {
            faults_ << QStringLiteral("unknown step: ") + QString::fromLatin1(step);
        }
    }
    write(out);
    onClientData(); // lines that came while the server was still talking
}

void ScriptedServer::onClientData()
{
    if (client_)
        inbox_ += client_->readAll();
    qsizetype end;
    while ((end = inbox_.indexOf("\r\n")) >= 0) {
        const QByteArray line = inbox_.left(end);
        inbox_.remove(0, end + 2);
        if (stopped_)
            continue;
        if (paused_ || next_ >= steps_.size() || !clientStep(steps_[next_])) {
            faults_ << QStringLiteral("unexpected client line: ") + QString::fromLatin1(line);
            stopped_ = true;
            continue;
        }
        const QByteArray expected = steps_[next_].mid(3);
        const bool matches =
            steps_[next_].startsWith("C~")
                ? QRegularExpression(QRegularExpression::anchoredPattern(QString::fromLatin1(expected)))
                      .match(QString::fromLatin1(line))
                      .hasMatch()
                : line == expected;
        if (!matches) {
            faults_ << (QStringLiteral("step %1: expected \"%2\", got \"%3\"")
                            .arg(next_)
                            .arg(QString::fromLatin1(expected), QString::fromLatin1(line)));
            stopped_ = true;
            continue;
        }
        ++next_;
        if (next_ < steps_.size() && !clientStep(steps_[next_]) && inbox_.contains("\r\n")) {
            faults_ << QStringLiteral("client line before the server's reply: ") + QString::fromLatin1(inbox_);
            stopped_ = true;
            continue;
        }
        play();
        return; // play() took the lines left in the inbox
    }
}
