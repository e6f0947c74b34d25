// SPDX-License-Identifier: GPL-3.0-or-later
#include "SipPeers.h"
#include "TestSupport.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <sys/socket.h>
#include <unistd.h>

namespace sip_peers {

namespace {

const QString kScenarios = QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/sip/");

// True while some program listens on that UDP port.
bool PortTaken(quint16 port)
{
    QUdpSocket probe; // without address sharing, as a raw bind
    return !probe.bind(QHostAddress::LocalHost, port, QAbstractSocket::DontShareAddress);
}

// Free ports below the range the system hands out, so that no peer's ephemeral socket lands
// on them: sipp's media ports (it takes the ones after its base too: RTCP, video) and our
// listeners.
quint16 QuietPorts(quint16 from, quint16 to, int count)
{
    static quint16 offset = quint16((::getpid() % 500) * 10);
    for (int tries = 0; tries < 2000; ++tries) {
        const quint16 base = quint16(from + (offset += 10) % (to - from));
        bool free = true;
        for (int i = 0; i < count; ++i)
            free &= !PortTaken(quint16(base + i));
        if (free && testing_support::ClaimPort(base))
            return base;
    }
    return 0;
}
quint16 MediaPorts()
{
    return QuietPorts(20000, 31990, 4);
}

// True once some program has bound port (UDP) or listens on it (TCP), as the kernel's tables
// say: a probe bind could take the port from under the peer.
bool Bound(quint16 port, bool tcp)
{
    QFile table(tcp ? QStringLiteral("/proc/net/tcp") : QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return true; // cannot tell: go on as before
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) { // its size reads as 0
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1].endsWith(local) && (!tcp || fields[3] == "0A"))
            return true;
    }
    return false;
}

} // namespace

quint16 FreeUdpPort()
{
    return testing_support::FreeLoopbackPort(SOCK_DGRAM);
}

quint16 ListenerPort()
{
    return QuietPorts(12000, 19990, 1);
}

QString OtherLocalAddress()
{
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    return {};
}

Sipp::Sipp(const QString& scenario, const QString& target, QStringList extra, const QString& local, quint16 sipPort)
    : port(sipPort ? sipPort : FreeUdpPort()), local_(local)
{
    QStringList args = QStringLiteral("-sf|%1|-i|%2|-p|%3|-mi|%2|-mp|%4|-nostdin|-trace_msg|-message_file|%5")
                           .arg(kScenarios + scenario, local, QString::number(port), QString::number(MediaPorts()),
                                dir_.filePath("messages.log"))
                           .split(u'|');
    if (!target.isEmpty())
        args << target << QStringList{"-m", "1", "-s", "korvalen", "-timeout", "25s"};
    args << extra;
    process_.setWorkingDirectory(dir_.path());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.filePath(QStringLiteral("screen.log")));
    process_.start(QStringLiteral("sipp"), args);
    started_ = process_.waitForStarted(5000);
    // An answering peer is ready once it listens: over TCP, a connection before that is refused.
    if (started_ && target.isEmpty()) {
        const qsizetype t = extra.indexOf(QStringLiteral("-t"));
        const bool tcp = t >= 0 && t + 1 < extra.size() && extra[t + 1].startsWith(u't');
        started_ =
            testing_support::waitUntil([&] { return process_.state() != QProcess::Running || Bound(port, tcp); }, 10000)
            && process_.state() == QProcess::Running;
    }
}

bool Sipp::succeeded(int ms)
{
    return testing_support::waitUntil([this] { return process_.state() == QProcess::NotRunning; }, ms)
           && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

void Sipp::kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString Sipp::messages() const
{
    return QString::fromLatin1(testing_support::readFile(dir_.filePath(QStringLiteral("messages.log"))));
}

RtpListener::RtpListener()
{
    socket_.bind(QHostAddress::LocalHost, 0);
    port = socket_.localPort();
    QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
        while (socket_.hasPendingDatagrams())
            packets_ += socket_.receiveDatagram().data().size() > 12; // a header and a payload
    });
}

} // namespace sip_peers
