// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

// The socket and timer a window lends a protocol client outlive the client: the owner makes a
// new client per session and releases the old one later. Each control remembers which client
// holds it, so an old client never reads, closes or stops what a newer one uses.
namespace lent {

void Hold(QObject* control, const QObject* client);
bool HeldBy(const QObject* control, const QObject* client);
// Puts a newly lent control in the client's slot and holds it; the one there before no longer
// signals the client. False when nothing was lent, so there is nothing to connect.
template <class Control> bool Take(QPointer<Control>& slot, Control* control, QObject* client)
{
    if (slot)
        QObject::disconnect(slot, nullptr, client, nullptr);
    slot = control;
    if (!control)
        return false;
    Hold(control, client);
    return true;
}
// Aborts the connection if the client holds the socket; closing is set meanwhile, so the
// client can tell its own close from the server's.
void CloseSocket(QTcpSocket* socket, const QObject* client, bool& closing);
// Time-out counting on a held timer: stops it and counts from zero again; restart also starts
// it. A timer another client holds is left alone.
void StopTimer(QTimer* timer, const QObject* client, int& ticks);
void RestartTimer(QTimer* timer, const QObject* client, int& ticks);
// Lets go of both: no more signals to the client; a timer it holds stops, a socket it holds closes.
void Release(QObject* client, QTcpSocket* socket, QTimer* timer, bool& closing);

} // namespace lent
