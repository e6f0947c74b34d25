// SPDX-License-Identifier: GPL-3.0-or-later
// The SIP line's cost and promptness: CPU used while a direct listener waits for calls, and the
// time from a keypad digit sent by the caller to the first RTP packet of speech coming back.
//
//   korvalen-sipline-bench [--idle-seconds N] [--digits N]
//
// sipp places the call; its SDP names a UDP port of this program, which sends the RFC 4733
// digits and reads the line's RTP. A digit makes a voice speak on the call's output, as the
// voice menu does when a caller presses a key.
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/SipLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include "SipBenchSupport.h"

#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform;
using namespace bench;

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The caller's media end: reads what the line sends and sends keypad events back.
class Peer
{
public:
    Peer() { socket_ = Bound(SOCK_DGRAM, &port); }
    ~Peer()
    {
        stop_ = true;
        ::shutdown(socket_, SHUT_RDWR);
        if (reader_.joinable())
            reader_.join();
        ::close(socket_);
    }
    void start()
    {
        reader_ = std::thread([this] { read(); });
    }
    bool knowsLine() const { return known_; }

    // RFC 4733: three event packets 20 ms apart, the end packet three times. Returns when the
    // first end packet was sent: the key is known complete only then, and the line's RTP stack
    // reports it then.
    Clock::time_point sendDigit(int event)
    {
        std::vector<Clock::time_point> sent;
        // the RTP clock runs with real time, as a telephone's does (8 kHz)
        const quint32 stamp =
            quint32(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - epoch_).count() / 125);
        for (int i = 0; i < 6; ++i) {
            const bool end = i >= 3;
            uint8_t p[16];
            p[0] = 0x80;
            p[1] = uint8_t((i == 0 ? 0x80 : 0) | 101);
            qToBigEndian<quint16>(++sequence_, p + 2);
            qToBigEndian<quint32>(stamp, p + 4);
            qToBigEndian<quint32>(0x4b564c4e, p + 8);
            p[12] = uint8_t(event);
            p[13] = uint8_t((end ? 0x80 : 0) | 10);
            qToBigEndian<quint16>(quint16(std::min(i + 1, 3) * 160), p + 14);
            sent.push_back(Clock::now());
            ::sendto(socket_, p, sizeof p, 0, reinterpret_cast<const sockaddr*>(&line_), sizeof line_);
            if (i < 3)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return sent[3];
    }
    // When the first packet with sound arrived after `since`.
    std::optional<Clock::time_point> firstSoundAfter(Clock::time_point since)
    {
        std::lock_guard lock(mutex_);
        for (const auto& [when, loud] : packets_)
            if (when >= since && loud)
                return when;
        return std::nullopt;
    }

    quint16 port = 0;

private:
    void read()
    {
        uint8_t b[2048];
        while (!stop_) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(socket_, b, sizeof b, 0, reinterpret_cast<sockaddr*>(&from), &len);
            const Clock::time_point now = Clock::now();
            if (n <= 0)
                continue;
            if (!known_) {
                line_ = from;
                known_ = true;
            }
            if (n <= 12 || (b[1] & 0x7f) != 0)
                continue;
            int peak = 0;
            for (ssize_t i = 12; i < n; ++i)
                peak = std::max(peak, std::abs(Ulaw(b[i])));
            std::lock_guard lock(mutex_);
            packets_.emplace_back(now, peak > 500);
        }
    }

    int socket_ = -1;
    std::thread reader_;
    std::atomic_bool stop_{false};
    std::atomic_bool known_{false};
    sockaddr_in line_{};
    std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, bool>> packets_;
    quint16 sequence_ = 0;
    const Clock::time_point epoch_ = Clock::now();
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int idleSeconds = IntOption(args, "--idle-seconds", 10), digits = IntOption(args, "--digits", 10);

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

    // (a) a line waiting for calls
    RunFor(500);
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    RunFor(idleSeconds * 1000);
    const double idleCpu = (CpuSeconds() - cpu0) / (Ms(Clock::now() - wall0) / 1000) * 100;
    std::printf("idle: %.2f%% of one core over %d s with a direct listener open\n", idleCpu, idleSeconds);

    // (b) digit to speech
    Peer peer;
    peer.start();
    SpeechVoice voice;
    QObject::connect(&line, &VoiceModem::IncomingCall, &line, [&](int rings) {
        if (rings == 1)
            line.Answer();
    });
    Clock::time_point digitHere{};
    QObject::connect(&line, &VoiceModem::PhoneConnected, &line, [&](int device, int) {
        voice.setAudioOutputStream(AudioOutputStream{device, SpeechVoice::kTelephoneFormat});
    });
    QObject::connect(&line, &VoiceModem::DigitReceived, &line, [&](const QString&) {
        digitHere = Clock::now();
        voice.Speak(QStringLiteral(" Please enter Password"));
    });
    int ends = 0;
    QObject::connect(&voice, &SpeechVoice::EndStream, &voice, [&] { ++ends; });

    QTemporaryDir dir;
    QProcess sipp;
    sipp.setWorkingDirectory(dir.path());
    sipp.setStandardOutputFile(QProcess::nullDevice());
    sipp.setStandardErrorFile(QProcess::nullDevice());
    sipp.start(QStringLiteral("sipp"),
               {QStringLiteral("-sf"), QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/sip/caller-own-media.xml"),
                QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                QString::number(FreePort(SOCK_DGRAM)), QStringLiteral("-nostdin"), QStringLiteral("-m"),
                QStringLiteral("1"), QStringLiteral("-s"), QStringLiteral("korvalen"), QStringLiteral("-key"),
                QStringLiteral("from"), QStringLiteral("<sip:5551234@127.0.0.1>"), QStringLiteral("-key"),
                QStringLiteral("rtp_port"), QString::number(peer.port), QStringLiteral("127.0.0.1:%1").arg(sipPort)});
    if (!sipp.waitForStarted(5000) || !RunUntil([&] { return peer.knowsLine(); }, 10000)) {
        std::fprintf(stderr, "the call did not come up\n");
        return 1;
    }
    RunFor(500);

    std::vector<double> toSpeech, toDigit;
    const double callCpu0 = CpuSeconds();
    const auto callWall0 = Clock::now();
    for (int i = 0; i < digits; ++i) {
        const int endsBefore = ends;
        digitHere = {};
        const Clock::time_point sent = peer.sendDigit(i % 10);
        std::optional<Clock::time_point> sound;
        if (!RunUntil([&] { return (sound = peer.firstSoundAfter(sent)).has_value(); }, 3000)) {
            std::fprintf(stderr, "digit %d: no speech came back (%s)\n", i,
                         digitHere == Clock::time_point{} ? "the line did not report the digit"
                                                          : "the line reported the digit");
            return 1;
        }
        toSpeech.push_back(Ms(*sound - sent));
        if (digitHere != Clock::time_point{})
            toDigit.push_back(Ms(digitHere - sent));
        if (!RunUntil([&] { return ends > endsBefore; }, 10000))
            std::fprintf(stderr, "digit %d: the speech did not end\n", i);
        RunFor(200);
    }
    const double callCpu = (CpuSeconds() - callCpu0) / (Ms(Clock::now() - callWall0) / 1000) * 100;
    line.HangUp();
    RunFor(200);
    sipp.kill();
    sipp.waitForFinished(3000);

    std::sort(toSpeech.begin(), toSpeech.end());
    std::sort(toDigit.begin(), toDigit.end());
    auto median = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v[v.size() / 2]; };
    std::printf("digit to first speech RTP packet: median %.1f ms, min %.1f ms, max %.1f ms over %zu digits\n",
                median(toSpeech), toSpeech.front(), toSpeech.back(), toSpeech.size());
    std::printf("  of which digit to DigitReceived: median %.1f ms, max %.1f ms\n", median(toDigit),
                toDigit.empty() ? 0.0 : toDigit.back());
    std::printf("in a call, speaking: %.1f%% of one core\n", callCpu);
    return 0;
}
