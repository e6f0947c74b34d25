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
    MediaEnd peer(500);
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
    if (!sipp.waitForStarted(5000) || !RunUntil([&] { return peer.hearsTheLine(); }, 10000)) {
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
        const Clock::time_point sent = peer.sendKey(i % 10);
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
