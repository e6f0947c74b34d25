// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrivateBus.h"

#include <QDBusConnectionInterface>

PrivateBus::PrivateBus()
{
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!daemon_.waitForStarted(5000))
        return;
    // The daemon prints its address once it listens.
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) { }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : names_)
        QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000))
            daemon_.kill();
        daemon_.waitForFinished(3000);
    }
}

QDBusConnection PrivateBus::connect(const QString& name) const
{
    const_cast<QStringList&>(names_) << name;
    return QDBusConnection::connectToBus(address_, name);
}

bool FakeNotifications::registerOn(QDBusConnection bus)
{
    bus_ = std::make_unique<QDBusConnection>(bus);
    return bus_->registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots)
           && bus_->registerService(QStringLiteral("org.freedesktop.Notifications"));
}

void FakeNotifications::unregister()
{
    if (!bus_)
        return;
    bus_->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_->unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

uint FakeNotifications::Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                               const QString& body, const QStringList&, const QVariantMap& hints, int timeout)
{
    notices.append({appName, icon, summary, body, hints, timeout});
    return uint(notices.size());
}
