// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace platform {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr int kShowMs = 10000; // long enough to read three lines

} // namespace

void ConnectSessionBus()
{
    QDBusConnection::sessionBus();
}

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) { }

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) { }

void DesktopNotifier::notify(const QString& appName, const QString& summary, const QString& body)
{
    if (!bus_.isConnected())
        return failed(QStringLiteral("no session bus (%1)").arg(bus_.lastError().message()));
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("korvalen"));
    call << appName << uint(0) << QStringLiteral("mail-unread") << summary << body << QStringList() << hints
         << int(kShowMs);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return failed(reply.error().message());
        reported_ = false;
        emit delivered(reply.value());
    });
}

void DesktopNotifier::failed(const QString& why)
{
    if (reported_)
        return;
    reported_ = true;
    emit unavailable(why);
}

} // namespace platform
