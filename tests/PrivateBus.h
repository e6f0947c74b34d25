// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <memory>

// A session bus of the test's own (dbus-daemon on a private socket), stopped by its pid when
// the test ends, and connections to it under names of the test's choosing.
class PrivateBus
{
public:
    PrivateBus(); // a bus that cannot start fails the test through address() being empty
    ~PrivateBus();
    QString address() const { return address_; }
    QDBusConnection connect(const QString& name) const;

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// The desktop's notification service as far as Korvalen uses it: it keeps what it was asked
// to show.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice
    {
        QString appName, icon, summary, body;
        QVariantMap hints;
        int timeout = 0;
    };
    // Takes the service name on the bus; false when it cannot.
    bool registerOn(QDBusConnection bus);
    void unregister();
    QList<Notice> notices;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    std::unique_ptr<QDBusConnection> bus_;
};
