// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the SIP benchmarks share: the event loop run as the program runs it, loopback sockets
// and the telephone band's mu-law samples.
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

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

} // namespace bench
