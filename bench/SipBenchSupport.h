// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the SIP benchmarks share: the event loop run as the program runs it, loopback sockets
// and the telephone band's mu-law samples.
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

// The value after "--name" among the program's arguments, or fallback.
inline int IntOption(const QStringList& args, const QString& name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

using Clock = std::chrono::steady_clock;

// Runs the event loop as the program does, until `done` holds or the time is up. (A test's wait
// that sleeps between turns would delay every queued call and timer, and the figures with them.)
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check, limit;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(5); // the times come from the reader thread; this only ends the wait
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

inline void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A socket of the type (SOCK_DGRAM, SOCK_STREAM) bound to a free loopback port; -1 on failure.
inline int Bound(int type, quint16* port)
{
    const int s = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return s;
}

inline quint16 FreePort(int type)
{
    quint16 port = 0;
    const int s = Bound(type, &port);
    if (s >= 0)
        ::close(s);
    return port;
}

inline int Ulaw(uint8_t u)
{
    u = ~u;
    const int t = ((u & 0x0F) << 3) + 0x84;
    const int v = (t << ((u & 0x70) >> 4)) - 0x84;
    return (u & 0x80) ? -v : v;
}

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The caller's media end: reads what the line sends on a thread of its own, so that arrival times
// are exact, and presses keys as RFC 4733 events. A packet counts as sound above `loudness`.
class MediaEnd
{
public:
    explicit MediaEnd(int loudness) : loudness_(loudness) { socket_ = Bound(SOCK_DGRAM, &port); }
    ~MediaEnd()
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
    bool hearsTheLine() const { return known_; }

    // Three event packets 20 ms apart, then the end packet three times. Returns when the first
    // end packet was sent: the key is known complete only then, and the line reports it then.
    Clock::time_point sendKey(int event)
    {
        Clock::time_point complete{};
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
            if (i == 3)
                complete = Clock::now();
            ::sendto(socket_, p, sizeof p, 0, reinterpret_cast<const sockaddr*>(&line_), sizeof line_);
            if (i < 3)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return complete;
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
    // The first packet with sound after `since` that follows at least `quiet` packets without.
    std::optional<Clock::time_point> firstSoundAfterQuiet(Clock::time_point since, int quiet)
    {
        std::lock_guard lock(mutex_);
        int run = 0;
        for (const auto& [when, loud] : packets_) {
            if (when < since)
                continue;
            if (loud && run >= quiet)
                return when;
            run = loud ? 0 : run + 1;
        }
        return std::nullopt;
    }
    // When the first packet after `since` came that starts the same sound as `start` (8 kHz
    // samples, with at least a packet of silence before the sound): that packet and the next two
    // match its first 100 ms at one place. A reading is told from the one it replaced this way
    // even when no pause lies between them.
    std::optional<Clock::time_point> firstPacketOf(const std::vector<qint16>& start, Clock::time_point since)
    {
        constexpr size_t kPackets = 3;
        constexpr size_t kSearch = 8000 / 10; // 100 ms: the start, not a later part of it
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i + kPackets <= packets_.size(); ++i) {
            if (packets_[i].first < since || Peak(sound_[i]) < kAudible)
                continue;
            std::vector<qint16> heard;
            for (size_t k = i; k < i + kPackets; ++k)
                heard.insert(heard.end(), sound_[k].begin(), sound_[k].end());
            for (size_t at = 0; at + heard.size() <= start.size() && at <= kSearch; ++at)
                if (Likeness(heard, start.data() + at) > 0.9)
                    return packets_[i].first;
        }
        return std::nullopt;
    }
    // Some sound within the last `ms`: something is being read.
    bool loudFor(int ms)
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        for (auto it = packets_.rbegin(); it != packets_.rend() && now - it->first < std::chrono::milliseconds(ms);
             ++it)
            if (it->second)
                return true;
        return false;
    }
    // No sound for the last `ms`, and packets still coming.
    bool silentFor(int ms)
    {
        std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (packets_.empty() || now - packets_.back().first > std::chrono::milliseconds(100))
            return false;
        for (auto it = packets_.rbegin(); it != packets_.rend() && now - it->first < std::chrono::milliseconds(ms);
             ++it)
            if (it->second)
                return false;
        return true;
    }

    quint16 port = 0;

private:
    static constexpr int kAudible = 100; // above the codec's idle noise, below any speech
    static int Peak(const std::vector<qint16>& sound)
    {
        int peak = 0;
        for (qint16 s : sound)
            peak = std::max(peak, std::abs(int(s)));
        return peak;
    }
    // Normalised correlation of a with as many samples from b: 1 for the same sound at any loudness.
    static double Likeness(const std::vector<qint16>& a, const qint16* b)
    {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            ab += double(a[i]) * b[i];
            aa += double(a[i]) * a[i];
            bb += double(b[i]) * b[i];
        }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
    }

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
            std::vector<qint16> sound(size_t(n - 12));
            for (ssize_t i = 12; i < n; ++i)
                sound[size_t(i - 12)] = qint16(Ulaw(b[i]));
            const int peak = Peak(sound);
            std::lock_guard lock(mutex_);
            packets_.emplace_back(now, peak > loudness_);
            sound_.push_back(std::move(sound));
        }
    }

    const int loudness_;
    int socket_ = -1;
    std::thread reader_;
    std::atomic_bool stop_{false}, known_{false};
    sockaddr_in line_{};
    std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, bool>> packets_;
    std::vector<std::vector<qint16>> sound_; // each packet's samples
    quint16 sequence_ = 0;
    const Clock::time_point epoch_ = Clock::now();
};

} // namespace bench
