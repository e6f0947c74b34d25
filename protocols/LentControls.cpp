// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/LentControls.h"

#include <QVariant>

namespace lent {
namespace {
constexpr char kHeldBy[] = "korvalenHeldBy";
} // namespace

void Hold(QObject* control, const QObject* client)
{
    if (control)
        control->setProperty(kHeldBy, QVariant::fromValue(quintptr(client)));
}

bool HeldBy(const QObject* control, const QObject* client)
{
    return control && control->property(kHeldBy).value<quintptr>() == quintptr(client);
}

void CloseSocket(QTcpSocket* socket, const QObject* client, bool& closing)
{
    if (!socket || !HeldBy(socket, client) || socket->state() == QAbstractSocket::UnconnectedState)
        return;
    closing = true;
    socket->abort();
    closing = false;
}

void StopTimer(QTimer* timer, const QObject* client, int& ticks)
{
    if (!HeldBy(timer, client))
        return;
    timer->stop();
    ticks = 0;
}

void RestartTimer(QTimer* timer, const QObject* client, int& ticks)
{
    if (!HeldBy(timer, client))
        return;
    StopTimer(timer, client, ticks);
    timer->start();
}

void Release(QObject* client, QTcpSocket* socket, QTimer* timer, bool& closing)
{
    if (timer)
        QObject::disconnect(timer, nullptr, client, nullptr);
    if (socket)
        QObject::disconnect(socket, nullptr, client, nullptr);
    if (HeldBy(timer, client)) {
        timer->stop();
        Hold(timer, nullptr);
    }
    if (HeldBy(socket, client)) {
        CloseSocket(socket, client, closing);
        Hold(socket, nullptr);
    }
}

} // namespace lent
