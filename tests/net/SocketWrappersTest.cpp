// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/TCPsocket.h"
#include "TestSupport.h"
#include "net/UDPsocket.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <sys/socket.h>

using namespace net;
using testing_support::waitUntil;

namespace {

// A wrapper on a free loopback port, and a plain socket that plays the other side.
struct Udp : ::testing::Test
{
    QUdpSocket control;
    UDPsocket udp;
    QUdpSocket peer;
    QList<std::pair<int, QByteArray>> arrived;

    Udp()
    {
        udp.SetControl(&control);
        EXPECT_TRUE(udp.setPort(0)) << udp.ErrorText().toStdString();
        EXPECT_TRUE(peer.bind(QHostAddress::LocalHost, 0));
        QObject::connect(&udp, &UDPsocket::MessageArrival, [this](quint8 type, const QByteArray& payload) {
            arrived.append({type, payload});
        });
    }

    void sendRaw(const QByteArray& d) { peer.writeDatagram(d, QHostAddress::LocalHost, quint16(udp.Port())); }
    // The marker datagram arrives after everything sent before it.
    void settle()
    {
        sendRaw(QByteArray("end") + char(99));
        ASSERT_TRUE(waitUntil([this] { return !arrived.isEmpty() && arrived.back().first == 99; }, 5000));
        arrived.removeLast();
    }
};

} // namespace

TEST_F(Udp, DeliversTypeAndPayloadAndDropsWhatIsTooLongOrEmpty)
{
    const struct
    {
        QByteArray datagram; // the last byte is the type
        bool delivered;
    } rows[] = {
        {QByteArray(599, 'x') + char(4), false}, // 600 bytes: dropped
        {QByteArray(598, 'y') + char(7), true}, // 599 bytes: 598 payload bytes
        {QByteArray(1, char(10)), true}, // one byte: the type alone
        {QByteArray(), false}, // nothing to read a type from
        {QByteArray("hello") + char(255), true},
    };
    for (const auto& r : rows) {
        arrived.clear();
        sendRaw(r.datagram);
        settle();
        using Arrivals = QList<std::pair<int, QByteArray>>;
        EXPECT_EQ(arrived, (r.delivered ? Arrivals{{quint8(r.datagram.back()), r.datagram.chopped(1)}} : Arrivals{}))
            << r.datagram.size();
    }
}

// Sending and naming the sender are driven byte for byte by the call tests' raw peer.
TEST_F(Udp, DropsWhatArrivesWhileTheFormIsBusyRefusesTakenPortsAndSwallowsBadSends)
{
    bool busy = true; // the form is still handling a datagram
    udp.AssignBusy(&busy);
    QSignalSpy read(&control, &QUdpSocket::readyRead);
    sendRaw(QByteArray("a") + char(1));
    ASSERT_TRUE(read.wait(5000)); // the wrapper has read it (its slot ran first)
    busy = false;
    settle();
    EXPECT_TRUE(arrived.isEmpty());

    QSignalSpy debug(&udp, &UDPsocket::DebugPrint);
    udp.setRemoteHost(QStringLiteral("not an address"));
    udp.setRemotePort(9);
    udp.SendMessage(1, "x");
    EXPECT_EQ(debug.size(), 1);
    UDPsocket unbound; // no socket lent: nothing happens
    unbound.SendMessage(1, "x");

    QUdpSocket other; // a taken port is refused with its number
    UDPsocket second;
    second.SetControl(&other);
    EXPECT_FALSE(second.setPort(udp.Port()));
    EXPECT_TRUE(second.ErrorText().contains(QString::number(udp.Port()))) << second.ErrorText().toStdString();
}

namespace {

// Two wrappers joined on loopback: one listens and accepts, the other connects.
struct Tcp : ::testing::Test
{
    QTcpSocket serverControl, clientControl;
    TCPsocket server, client;
    QList<std::tuple<QString, QByteArray, int>> arrived; // event, payload, code

    Tcp()
    {
        server.SetControl(&serverControl);
        client.SetControl(&clientControl);
        server.setLocalPort(0);
        EXPECT_TRUE(server.ListenSocket());
        QObject::connect(&server, &TCPsocket::TCPConnectRequest, [this](int32_t id) { server.AcceptConnect(id); });
        for (TCPsocket* s : {&server, &client}) {
            QObject::connect(s, &TCPsocket::MessageArrival, [this](const QByteArray& p, int code) {
                arrived.append({"message", p, code});
            });
            QObject::connect(s, &TCPsocket::FrameArrival, [this](const QByteArray& p, int code) {
                arrived.append({"frame", p, code});
            });
        }
        client.setRemoteHost(QStringLiteral("127.0.0.1"));
        client.setRemotePort(server.LocalPort());
        QSignalSpy up(&client, &TCPsocket::TCPConnect);
        client.ConnectNow();
        EXPECT_TRUE(waitUntil([&] { return up.size() == 1 && server.isConnected(); }, 5000));
    }
};

} // namespace

TEST_F(Tcp, CodesBelow256AreMessagesTheRestFramesAndACodelessReadIsIgnored)
{
    // as they arrive: event, payload, code
    const std::tuple<QString, QByteArray, int> rows[] = {
        {"message", "hello", 200}, {"message", "", 255}, {"frame", "frame", 256}, {"frame", "top", 32767}};
    for (const auto& row : rows) {
        const int16_t code = int16_t(std::get<2>(row));
        arrived.clear();
        QSignalSpy sent(&client, &TCPsocket::SendComplete);
        client.SendMessage(code, std::get<1>(row));
        EXPECT_TRUE(client.isSocketBusy());
        ASSERT_TRUE(waitUntil([this] { return !arrived.isEmpty(); }, 5000)) << code;
        EXPECT_EQ(arrived[0], row);
        ASSERT_TRUE(sent.size() || sent.wait(5000));
        EXPECT_EQ(sent[0][0].value<int16_t>(), code);
        EXPECT_FALSE(client.isSocketBusy());
    }
    // One byte on the wire: no code to read.
    arrived.clear();
    QSignalSpy read(&clientControl, &QTcpSocket::readyRead);
    serverControl.write("x", 1);
    ASSERT_TRUE(read.wait(5000));
    EXPECT_TRUE(arrived.isEmpty());
}

TEST_F(Tcp, ClosingHereByThePeerAndARefusedConnectionAreToldApart)
{
    QSignalSpy clientClosed(&client, &TCPsocket::TCPClose);
    QSignalSpy serverClosed(&server, &TCPsocket::TCPClose);
    client.CloseConnect();
    ASSERT_EQ(clientClosed.size(), 1);
    EXPECT_EQ(clientClosed[0][0].toInt(), TCPsocket::ClosedHere);
    ASSERT_TRUE(serverClosed.wait(5000));
    EXPECT_EQ(serverClosed[0][0].toInt(), TCPsocket::ClosedByPeer);
    client.CloseConnect(); // closing a closed connection says nothing
    EXPECT_EQ(clientClosed.size(), 1);
    EXPECT_EQ(client.sockState(), TCPsocket::Closed);

    QTcpSocket lone;
    TCPsocket nowhere;
    nowhere.SetControl(&lone);
    nowhere.setRemoteHost(QStringLiteral("127.0.0.1"));
    nowhere.setRemotePort(testing_support::FreeLoopbackPort(SOCK_STREAM)); // nobody listens there
    QSignalSpy failed(&nowhere, &TCPsocket::TCPSendError);
    nowhere.ConnectNow();
    EXPECT_TRUE(failed.wait(5000));
    EXPECT_FALSE(nowhere.isConnected());
}
