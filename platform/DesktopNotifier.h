// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace platform {

// Connects the program to the session bus, which the window's thread otherwise waits for at its
// first use; the program runs it on a worker thread while it starts.
void ConnectSessionBus();

// Desktop notifications through the freedesktop notification service on the session bus.
// Sending never waits: the answer comes as an event. Without a service (no session bus, no
// notification daemon) nothing is shown; the first failure of an outage is reported once.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    // The session bus of the desktop; tests hand in a private bus.
    explicit DesktopNotifier(QObject* parent = nullptr);
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void notify(const QString& appName, const QString& summary, const QString& body);

signals:
    void delivered(uint id);
    // The service could not be reached; once until a notification gets through again.
    void unavailable(const QString& why);

private:
    void failed(const QString& why);

    QDBusConnection bus_;
    bool reported_ = false;
};

} // namespace platform
