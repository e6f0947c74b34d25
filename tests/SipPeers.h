// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineConfig.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

// SIP peers on loopback for the line's tests: sipp scenarios from tests/peers/sip and a media
// end that hears what the line sends.
namespace sip_peers {

// A free UDP port on loopback, as the system hands them out.
quint16 FreeUdpPort();
// A free port below the range the system hands out, for a listener (the SIP stack shares its
// ports, so an ephemeral socket could join them).
quint16 ListenerPort();
// A direct listener on port, dialling plain numbers at target.
inline platform::SipLineConfig DirectLine(quint16 port, const QString& target = {})
{
    platform::SipLineConfig c;
    c.kind = platform::SipLineConfig::Kind::Direct;
    c.port = port;
    c.server = target;
    return c;
}
// An IPv4 address of this machine other than loopback; "" when it has none.
QString OtherLocalAddress();

// One sipp peer on loopback, stopped by its own pid when it goes.
class Sipp
{
public:
    // target: "127.0.0.1:port" for a caller, "" for an answering peer; local: the address the
    // peer sends from and listens on; sipPort: its SIP port, 0 for a free one.
    Sipp(const QString& scenario, const QString& target, QStringList extra = {},
         const QString& local = QStringLiteral("127.0.0.1"), quint16 sipPort = 0);
    ~Sipp() { kill(); }

    bool started() const { return started_; }
    // True when the scenario ran to its end.
    bool succeeded(int ms = 10000);
    void kill();
    QString messages() const;
    QString address() const { return QStringLiteral("%1:%2").arg(local_).arg(port); }

    quint16 port = 0;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString local_;
    bool started_ = false;
};

// The caller's media end, owned by the test: the caller's SDP names its port. It counts the
// RTP packets the line sends.
class RtpListener
{
public:
    RtpListener();
    int packets() const { return packets_; }

    quint16 port = 0;

private:
    QUdpSocket socket_;
    int packets_ = 0;
};

} // namespace sip_peers
