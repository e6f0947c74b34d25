#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

quint16 FreeLoopbackPort(int socketType)
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

QString sourceDir()
{
    return QStringLiteral(KORVALEN_SOURCE_DIR);
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
