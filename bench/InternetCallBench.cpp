// SPDX-License-Identifier: GPL-3.0-or-later
// The internet call on loopback: mouth-to-ear delay (a tone entering A's microphone to that tone
// leaving B's speaker, through GSM, UDP, B's jitter buffer and B's output queue) and the CPU
// one call costs, both forms in this process.
//
//   korvalen-call-bench [--tones N] [--gap-ms N]
//
// A's microphone records silence with a 200 ms tone every --gap-ms (default 1000); the delay
// of each tone is the time its first sample is heard at B minus the time it was recorded.
#include "console/frmSoundRec.h"
#include "platform/ProgramFolder.h"
#include "platform/sound/SoundWaveInput.h"
#include "platform/sound/WaveDevice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

QElapsedTimer wall;

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Silence with a tone burst every gap samples; notes when each burst's first sample is recorded.
class BurstMicrophone : public platform::SilentWaveInput
{
public:
    BurstMicrophone(int gap) : gap_(gap) { }
    std::vector<double> onsetsMs;

protected:
    void record(qint16* samples, int n) override
    {
        const qint64 now = wall.nsecsElapsed();
        for (int i = 0; i < n; ++i) {
            const qint64 k = position_ + i;
            const qint64 inGap = k % gap_;
            if (k >= gap_ && inGap == 0) // the chunk ends now: this sample was recorded n - i samples ago
                onsetsMs.push_back(double(now) / 1e6 - double(n - i) * 1000.0 / 8000);
            samples[i] = inGap < 1600 && k >= gap_ ? qint16(16000 * std::sin(2 * M_PI * 1000 * double(k) / 8000)) : 0;
        }
        position_ += n;
    }

private:
    int gap_;
    qint64 position_ = 0;
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

quint16 FreeUdpPort()
{
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int tones = 10, gapMs = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray a = argv[i];
        if (a == "--tones")
            tones = std::max(1, atoi(argv[i + 1]));
        else if (a == "--gap-ms")
            gapMs = std::max(400, atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: korvalen-call-bench [--tones N] [--gap-ms N]\n");
            return 2;
        }
    }
    platform::SetProgramFolderOverride(QString()); // rings from the build tree when it has them
    wall.start();

    frmSoundRec a, b;
    a.SetIdentity(QStringLiteral("a"), QStringLiteral("ka"));
    b.SetIdentity(QStringLiteral("b"), QStringLiteral("kb"));
    if (!a.SetPort(FreeUdpPort()) || !b.SetPort(FreeUdpPort())) {
        std::fprintf(stderr, "call bench: no free UDP port on loopback\n");
        return 1;
    }
    auto* mic = new BurstMicrophone(gapMs * 8);
    auto* ear = new platform::SilentWaveOutput();
    ear->setCapture(true);
    a.SetAudioDevices(std::unique_ptr<platform::WaveInput>(mic), std::make_unique<platform::SilentWaveOutput>());
    b.SetAudioDevices(std::make_unique<platform::SilentWaveInput>(), std::unique_ptr<platform::WaveOutput>(ear));
    QObject::connect(&b, &frmSoundRec::StateChanged, &b, [&b](int s) {
        if (s == frmSoundRec::RingingIn)
            b.Call(); // answered at the first ring
    });

    std::vector<double> heardMs;
    size_t scanned = 0;
    bool inTone = false;
    double cpuStart = 0, wallStart = 0;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto& s = ear->captured();
        const double now = double(wall.nsecsElapsed()) / 1e6;
        constexpr size_t kWindow = 40; // 5 ms
        for (; scanned + kWindow <= s.size(); scanned += kWindow) {
            double sum = 0;
            for (size_t i = scanned; i < scanned + kWindow; ++i)
                sum += double(s[i]) * s[i];
            const bool loud = std::sqrt(sum / kWindow) > 2000;
            if (loud && !inTone)
                heardMs.push_back(now - double(s.size() - scanned) * 1000.0 / 8000);
            inTone = loud;
        }
        if (heardMs.size() > size_t(tones) && mic->onsetsMs.size() > size_t(tones))
            app.quit();
    });
    QObject::connect(&a, &frmSoundRec::StateChanged, &a, [&](int s) {
        if (s == frmSoundRec::Connected) {
            scanned = ear->captured().size(); // the ring before the answer is no tone
            cpuStart = CpuSeconds();
            wallStart = double(wall.nsecsElapsed()) / 1e6;
            poll.start();
        }
    });
    QTimer::singleShot(0, &a, [&] {
        a.SetCallTarget(QStringLiteral("127.0.0.1"), QString::number(b.Port()), QString());
        a.Call();
    });
    QTimer::singleShot(30000 + tones * gapMs * 2, &app, [&] {
        std::fprintf(stderr, "call bench: gave up; %zu tones heard of %zu sent\n", heardMs.size(),
                     mic->onsetsMs.size());
        app.exit(1);
    });
    if (app.exec() != 0)
        return 1;
    const double cpu = CpuSeconds() - cpuStart;
    const double seconds = (double(wall.nsecsElapsed()) / 1e6 - wallStart) / 1000;
    a.Hangup();

    // Each tone is the first loud onset heard after it was recorded.
    std::vector<double> delays;
    for (double onset : mic->onsetsMs) {
        const auto heard = std::lower_bound(heardMs.begin(), heardMs.end(), onset);
        if (heard != heardMs.end() && *heard - onset < gapMs)
            delays.push_back(*heard - onset);
    }
    if (delays.empty()) {
        std::fprintf(stderr, "call bench: no tone came through\n");
        return 1;
    }
    std::printf("Internet call on loopback, %zu tones, GSM 6.10 in 40 ms blocks:\n", delays.size());
    std::printf("  mouth to ear: median %.0f ms, min %.0f ms, max %.0f ms\n", Median(delays),
                *std::min_element(delays.begin(), delays.end()), *std::max_element(delays.begin(), delays.end()));
    std::printf("  CPU: %.1f ms per second of call for both ends (%.2f%% of one core; %.2f%% per end)\n",
                cpu * 1000 / seconds, cpu * 100 / seconds, cpu * 50 / seconds);
    return 0;
}
