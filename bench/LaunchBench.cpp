// SPDX-License-Identifier: GPL-3.0-or-later
// From launch to the main window on the screen: the program (with a SIP line that listens, as a
// user who answers calls has it) against a minimal Qt window, started in turns.
//
//   korvalen-launch-bench --program PATH [--rounds N]
//
// Needs an X display (scripts/bench --launch runs it under xvfb-run). The time is from starting
// the process to the X server mapping its first top-level window. The program runs on a
// throwaway profile whose first run is done; it is ended with SIGTERM, its orderly way out.
#include "platform/SettingsStore.h"
#include "platform/telephone/SipLineConfig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <cstdio>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

// Tells when the X server maps a new top-level window.
class MapWatch
{
public:
    MapWatch() : c_(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(c_))
            return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
        ok_ = true;
    }
    ~MapWatch() { xcb_disconnect(c_); }
    bool ok() const { return ok_; }

    void drain()
    {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c_))
            free(e);
    }

    // The moment a top-level window was mapped, or nothing within timeoutMs.
    std::optional<Clock::time_point> waitForMap(int timeoutMs)
    {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd p{xcb_get_file_descriptor(c_), POLLIN, 0};
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY
                                    && !reinterpret_cast<xcb_map_notify_event_t*>(e)->override_redirect;
                free(e);
                if (mapped)
                    return Clock::now();
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || xcb_connection_has_error(c_))
                return std::nullopt;
            poll(&p, 1, int(left));
        }
    }

private:
    xcb_connection_t* c_;
    bool ok_ = false;
};

quint16 FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(u' ', 0, 2) : QStringLiteral("?");
}

// True when a SIP stack on the port answers an OPTIONS request within timeoutMs.
bool SipAnswers(quint16 port, int timeoutMs)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    sockaddr_in here = to;
    here.sin_port = 0;
    socklen_t length = sizeof here;
    bind(s, reinterpret_cast<sockaddr*>(&here), sizeof here);
    getsockname(s, reinterpret_cast<sockaddr*>(&here), &length);
    const QByteArray options = QStringLiteral("OPTIONS sip:bench@127.0.0.1:%1 SIP/2.0\r\n"
                                              "Via: SIP/2.0/UDP 127.0.0.1:%2;branch=z9hG4bK-bench\r\n"
                                              "Max-Forwards: 70\r\nFrom: <sip:b@127.0.0.1>;tag=b1\r\n"
                                              "To: <sip:bench@127.0.0.1>\r\nCall-ID: bench-1@127.0.0.1\r\n"
                                              "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n")
                                   .arg(port)
                                   .arg(ntohs(here.sin_port))
                                   .toLatin1();
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to); // replies come back to this socket
    bool answered = false;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!answered && Clock::now() < end) {
        send(s, options.constData(), size_t(options.size()), 0);
        pollfd p{s, POLLIN, 0};
        char reply[2048];
        if (poll(&p, 1, 200) > 0) {
            const ssize_t n = recv(s, reply, sizeof reply, 0);
            answered = n > 12 && QByteArray(reply, int(n)).startsWith("SIP/2.0 200");
        }
    }
    close(s);
    return answered;
}

// Starts one program, times its window, ends it; -1 when no window came. whileUp runs once the
// window is there, before the program is ended.
double TimeLaunch(MapWatch& watch, const QString& program, const QStringList& args, const QProcessEnvironment& env,
                  const std::function<void()>& whileUp = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    watch.drain();
    const Clock::time_point launched = Clock::now();
    p.start(program, args);
    const auto mapped = watch.waitForMap(20000);
    if (mapped && whileUp)
        whileUp();
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(3000);
    }
    return mapped ? std::chrono::duration<double, std::milli>(*mapped - launched).count() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    // A desktop session's runtime folder is in memory (/run/user/ID); the single-copy lock file
    // the program writes there is flushed, which on a disk costs milliseconds a desktop does not.
    QTemporaryDir shm(QStringLiteral("/dev/shm/korvalen-launch-XXXXXX"));
    const QString config = home.filePath(QStringLiteral("config"));
    const QString runtime = (shm.isValid() ? shm.path() : home.path()) + QStringLiteral("/run");
    qputenv("XDG_CONFIG_HOME", config.toUtf8()); // the store below writes the program's profile
    QApplication app(argc, argv);
    QString program;
    int rounds = 9;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--program")
            program = args[i + 1];
        if (args[i] == u"--rounds")
            rounds = std::max(1, args[i + 1].toInt());
    }
    if (program.isEmpty()) {
        std::fprintf(stderr, "usage: korvalen-launch-bench --program PATH [--rounds N]\n");
        return 2;
    }
    // The minimal window is a program of its own, so that it loads Qt Widgets' libraries alone.
    const QString peerProgram =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("korvalen-launch-peer"));
    MapWatch watch;
    if (!watch.ok()) {
        std::fprintf(stderr, "korvalen-launch-bench: no X display (run it under xvfb-run)\n");
        return 1;
    }
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    quint16 sipPort = 0;
    {
        platform::SettingsStore store;
        store.SaveSetting(QStringLiteral("FirstRunning"), QStringLiteral("1"));
        platform::SipLineConfig direct;
        direct.kind = platform::SipLineConfig::Kind::Direct;
        direct.port = sipPort = FreeUdpPort();
        platform::SaveSipLines(store, {direct});
        store.SaveSetting(QStringLiteral("voicemodem0"), QStringLiteral("0"));
        store.SaveSetting(QStringLiteral("PhonePin"), QStringLiteral("9753")); // a PIN of its own
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    std::printf("load average at the start: %s\n", qPrintable(LoadAverage()));
    std::vector<double> ours, peer;
    for (int r = -1; r < rounds; ++r) { // the first round warms the caches and is not counted
        // The first round also makes sure the line the program opens after its window answers.
        bool lineUp = true;
        const double a = TimeLaunch(watch, program, {}, env, [&] {
            if (r < 0)
                lineUp = SipAnswers(sipPort, 10000);
        });
        if (!lineUp) {
            std::fprintf(stderr, "korvalen-launch-bench: the program's SIP line never answered on port %u\n", sipPort);
            return 1;
        }
        const double b = TimeLaunch(watch, peerProgram, {}, env);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "korvalen-launch-bench: %s showed no window\n", a < 0 ? "the program" : "the peer");
            return 1;
        }
        if (r >= 0) {
            ours.push_back(a);
            peer.push_back(b);
        }
    }
    const double a = Median(ours), b = Median(peer);
    std::printf("launch to window shown, median of %d interleaved rounds: program %.1f ms (min %.1f, max %.1f), "
                "minimal Qt window %.1f ms (min %.1f, max %.1f), ratio %.2f\n",
                rounds, a, *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()), b,
                *std::min_element(peer.begin(), peer.end()), *std::max_element(peer.begin(), peer.end()), a / b);
    std::printf("load average at the end: %s\n", qPrintable(LoadAverage()));
    return 0;
}
