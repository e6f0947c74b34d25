// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace platform {
namespace {
std::function<bool(const QUrl&)> handler;
QString openerCommand = QStringLiteral("xdg-open");

QUrl targetUrl(const QString& target)
{
    if (target.trimmed().isEmpty())
        return QUrl();
    // A path on disk is a file; anything with a scheme is an address.
    return QFileInfo::exists(target) ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                                     : QUrl::fromUserInput(target);
}
} // namespace

bool OpenWithShell(const QString& target)
{
    const QUrl url = targetUrl(target);
    if (!url.isValid())
        return false;
    return handler ? handler(url) : QDesktopServices::openUrl(url);
}

void OpenWithShell(const QString& target, QObject* context, std::function<void(bool)> done)
{
    const QUrl url = targetUrl(target);
    QPointer<QObject> alive(context);
    auto later = [alive, done](bool opened) {
        QTimer::singleShot(0, alive, [alive, done, opened] {
            if (alive)
                done(opened);
        });
    };
    if (!url.isValid())
        return later(false);
    if (handler)
        return later(handler(url));
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The opener's exit status tells whether the desktop has a handler for the file.
    auto* opener = new QProcess(context);
    auto answered = std::make_shared<bool>(false);
    auto answer = [opener, answered, done, alive](bool opened) {
        if (*answered)
            return;
        *answered = true;
        opener->deleteLater();
        if (alive)
            done(opened);
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [answer](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            answer(false);
    });
    QObject::connect(opener, &QProcess::finished, opener, [answer](int code, QProcess::ExitStatus status) {
        answer(status == QProcess::NormalExit && code == 0);
    });
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->start(openerCommand, {url.isLocalFile() ? url.toLocalFile() : url.toString()});
#else
    later(QDesktopServices::openUrl(url));
#endif
}

void SetShellOpenHandler(std::function<bool(const QUrl&)> h)
{
    handler = std::move(h);
}

void SetShellOpenCommand(const QString& program)
{
    openerCommand = program.isEmpty() ? QStringLiteral("xdg-open") : program;
}

} // namespace platform
