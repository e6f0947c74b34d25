// SPDX-License-Identifier: GPL-3.0-or-later
#include "SipPeers.h"
#include "TestSupport.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <algorithm>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace sip_peers {

namespace {

const QString kScenarios = QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/sip/");

int Ulaw(uint8_t u)
{
    u = ~u;
    const int t = ((u & 0x0F) << 3) + 0x84;
    const int v = (t << ((u & 0x70) >> 4)) - 0x84;
    return (u & 0x80) ? -v : v;
}

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

Sipp::Sipp(const QString& scenario, const QString& target, QStringList extra, const QString& local) : local_(local)
{
    port = FreeUdpPort();
    QStringList args{QStringLiteral("-sf"),
                     kScenarios + scenario,
                     QStringLiteral("-i"),
                     local,
                     QStringLiteral("-p"),
                     QString::number(port),
                     QStringLiteral("-mi"),
                     local,
                     QStringLiteral("-mp"),
                     QString::number(MediaPorts()),
                     QStringLiteral("-nostdin"),
                     QStringLiteral("-trace_msg"),
                     QStringLiteral("-message_file"),
                     dir_.filePath(QStringLiteral("messages.log"))};
    if (!target.isEmpty())
        args << target << QStringLiteral("-m") << QStringLiteral("1") << QStringLiteral("-s")
             << QStringLiteral("korvalen") << QStringLiteral("-timeout") << QStringLiteral("25s");
    args << extra;
    process_.setWorkingDirectory(dir_.path());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(dir_.filePath(QStringLiteral("screen.log")));
    process_.start(QStringLiteral("sipp"), args);
    started_ = process_.waitForStarted(5000);
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
    clock_.start();
    socket_.bind(QHostAddress::LocalHost, 0);
    port = socket_.localPort();
    QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] { read(); });
}

double RtpListener::soundSeconds() const
{
    qint64 first = -1, last = -1;
    for (const auto& [ms, loud] : packets_)
        if (loud) {
            if (first < 0)
                first = ms;
            last = ms;
        }
    return first < 0 ? -1 : (last - first + 20) / 1000.0;
}

void RtpListener::read()
{
    while (socket_.hasPendingDatagrams()) {
        const QByteArray p = socket_.receiveDatagram().data();
        if (p.size() <= 12 || (uint8_t(p[1]) & 0x7f) != 0)
            continue;
        int peak = 0;
        for (qsizetype i = 12; i < p.size(); ++i)
            peak = std::max(peak, std::abs(Ulaw(uint8_t(p[i]))));
        packets_.emplace_back(clock_.elapsed(), peak > 600); // far above the codec's noise on silence
    }
}

} // namespace sip_peers
