// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <QDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/file.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QTimer deadline;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(1);
    deadline.setSingleShot(true);
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}

namespace {

quint16 KernelLoopbackPort(int socketType)
{
    const int s = ::socket(AF_INET, socketType, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    quint16 port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

} // namespace

bool ClaimPort(quint16 port)
{
    // A lock on a file per port; the kernel lets it go when the process ends, however it ends.
    static const QString folder = [] {
        const QString f = QDir::temp().filePath(QStringLiteral("korvalen-test-ports"));
        QDir().mkpath(f);
        return f;
    }();
    const QByteArray name = QDir(folder).filePath(QString::number(port)).toLocal8Bit();
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return true; // no lock folder: fall back to the bind check alone
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // the descriptor stays open for the life of the process
}

quint16 FreeLoopbackPort(int socketType)
{
    for (int tries = 0; tries < 50; ++tries) {
        const quint16 port = KernelLoopbackPort(socketType);
        if (port == 0 || ClaimPort(port))
            return port;
    }
    return 0;
}

QString sourceDir()
{
    return QStringLiteral(KORVALEN_SOURCE_DIR);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ProgramRun runProgram(const QString& program, const QStringList& args, const QByteArray& input,
                      const QProcessEnvironment& env, const QString& workDir)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    ProgramRun run;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        run.exitCode = p.exitCode();
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

TempFolder::TempFolder() = default;

void TempFolder::write(const QString& name, const QByteArray& bytes) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

void answerModal(std::function<bool(QWidget*)> action)
{
    // Polls the event loop that the modal window runs; gives up after a few thousand turns.
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, tries, poll]() {
        QWidget* w = QApplication::activeModalWidget();
        if (w && action(w)) {
            *poll = nullptr; // break the self-reference
            return;
        }
        if (++*tries < 5000)
            QTimer::singleShot(1, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace testing_support
