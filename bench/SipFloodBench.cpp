// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP line under a flood of calls: sipp sends INVITEs at a set rate while a pinger sends
// OPTIONS ten times a second. Prints how many OPTIONS were answered during the flood, the
// program's resident memory before, at its peak and after the stack has let go of the flood's
// transactions, and whether a call placed afterwards rings.
//
//   korvalen-sipflood-bench [--rate N] [--seconds N] [--settle N]
#include "platform/telephone/SipLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include "SipBenchSupport.h"

using namespace platform;
using namespace bench;

namespace {

double ResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Sends OPTIONS to the line every 100 ms from its own socket and counts the 200 answers.
class Pinger
{
public:
    explicit Pinger(quint16 linePort) : linePort_(linePort) { socket_ = Bound(SOCK_DGRAM, &port_); }
    ~Pinger()
    {
        stop_ = true;
        ::shutdown(socket_, SHUT_RDWR);
        if (sender_.joinable())
            sender_.join();
        if (reader_.joinable())
            reader_.join();
        ::close(socket_);
    }
    void start()
    {
        reader_ = std::thread([this] {
            char b[4096];
            while (!stop_) {
                const ssize_t n = ::recv(socket_, b, sizeof b, 0);
                if (n > 12 && std::memcmp(b, "SIP/2.0 200", 11) == 0)
                    ++answered;
            }
        });
        sender_ = std::thread([this] {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(linePort_);
            for (int i = 0; !stop_; ++i) {
                const QByteArray options =
                    QStringLiteral(
                        "OPTIONS sip:line@127.0.0.1:%1 SIP/2.0\r\nVia: SIP/2.0/UDP "
                        "127.0.0.1:%2;branch=z9hG4bK-ping%3\r\n"
                        "From: <sip:ping@127.0.0.1:%2>;tag=ping\r\nTo: <sip:line@127.0.0.1:%1>\r\n"
                        "Call-ID: ping%3@127.0.0.1\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n")
                        .arg(linePort_)
                        .arg(port_)
                        .arg(i)
                        .toLatin1();
                if (counting)
                    ++sent;
                ::sendto(socket_, options.constData(), size_t(options.size()), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof to);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }

    std::atomic_int sent{0}, answered{0};
    std::atomic_bool counting{false};

private:
    quint16 linePort_ = 0, port_ = 0;
    int socket_ = -1;
    std::atomic_bool stop_{false};
    std::thread sender_, reader_;
};

QStringList SippCall(const QString& scenario, quint16 linePort, QStringList extra)
{
    return QStringList{QStringLiteral("-sf"),
                       QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/sip/") + scenario,
                       QStringLiteral("-i"),
                       QStringLiteral("127.0.0.1"),
                       QStringLiteral("-p"),
                       QString::number(FreePort(SOCK_DGRAM)),
                       QStringLiteral("-mi"),
                       QStringLiteral("127.0.0.1"),
                       QStringLiteral("-nostdin"),
                       QStringLiteral("-s"),
                       QStringLiteral("korvalen"),
                       QStringLiteral("-key"),
                       QStringLiteral("from"),
                       QStringLiteral("<sip:5551234@127.0.0.1>"),
                       QStringLiteral("127.0.0.1:%1").arg(linePort)}
           + extra;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rate = IntOption(args, "--rate", 50), seconds = IntOption(args, "--seconds", 10);
    const int settle = IntOption(args, "--settle", 45); // the line gives memory back 40 s after the last call

    const quint16 sipPort = FreePort(SOCK_DGRAM);
    SipLineConfig direct;
    direct.kind = SipLineConfig::Kind::Direct;
    direct.port = sipPort;
    SipLine line({direct});
    line.OpenDevice(0, true, false);
    if (line.LineState() != 0) {
        std::fprintf(stderr, "the SIP line did not open on port %d\n", sipPort);
        return 1;
    }
    int rings = 0, disconnects = 0;
    QObject::connect(&line, &VoiceModem::IncomingCall, &line, [&](int) { ++rings; });
    QObject::connect(&line, &VoiceModem::Disconnected, &line, [&] { ++disconnects; });
    QTemporaryDir dir;

    // One ordinary call first, so that what the stack keeps for good is there before the count.
    auto oneCall = [&]() {
        QProcess sipp;
        sipp.setWorkingDirectory(dir.path());
        sipp.setStandardOutputFile(QProcess::nullDevice());
        sipp.start(QStringLiteral("sipp"), SippCall(QStringLiteral("caller.xml"), sipPort,
                                                    {QStringLiteral("-m"), QStringLiteral("1"),
                                                     QStringLiteral("-timeout"), QStringLiteral("20s")}));
        const int before = rings, ended = disconnects;
        const bool rang = sipp.waitForStarted(5000) && RunUntil([&] { return rings > before; }, 10000);
        line.HangUp();
        RunUntil([&] { return disconnects > ended; }, 5000);
        sipp.kill();
        sipp.waitForFinished(3000);
        return rang;
    };
    if (!oneCall()) {
        std::fprintf(stderr, "the first call did not ring\n");
        return 1;
    }
    RunFor(settle * 1000);
    const double before = ResidentMb();

    Pinger pinger(sipPort);
    pinger.start();
    RunFor(500);
    pinger.counting = true;
    QProcess flood;
    flood.setWorkingDirectory(dir.path());
    flood.setStandardOutputFile(QProcess::nullDevice());
    flood.start(QStringLiteral("sipp"), SippCall(QStringLiteral("caller-expects-busy.xml"), sipPort,
                                                 {QStringLiteral("-r"), QString::number(rate), QStringLiteral("-m"),
                                                  QString::number(rate * seconds), QStringLiteral("-timeout"),
                                                  QString::number(seconds + 15) + QStringLiteral("s")}));
    double peak = before;
    const auto start = Clock::now();
    while (flood.state() != QProcess::NotRunning && Ms(Clock::now() - start) < (seconds + 20) * 1000.0) {
        RunFor(250);
        peak = std::max(peak, ResidentMb());
    }
    pinger.counting = false;
    const int sent = pinger.sent, answered = pinger.answered;
    flood.kill();
    flood.waitForFinished(3000);
    line.HangUp(); // a call of the flood may still be ringing
    RunFor(settle * 1000);
    const double after = ResidentMb();
    const bool rangAfter = oneCall();

    std::printf("flood: %d INVITEs a second for %d s, %d rings reported\n", rate, seconds, rings);
    std::printf("OPTIONS during the flood: %d of %d answered\n", answered, sent);
    std::printf("resident memory: %.1f MB before, %.1f MB at the peak, %.1f MB %d s after (%+.1f MB)\n", before, peak,
                after, settle, after - before);
    std::printf("a call after the flood: %s\n", rangAfter ? "rang" : "did NOT ring");
    return rangAfter ? 0 : 1;
}
