// SPDX-License-Identifier: GPL-3.0-or-later
// The program's SIP line, whose stack comes from the module on the first open.
#include "platform/telephone/DeferredSipLine.h"

#include "SipPeers.h"
#include "TestSupport.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <sys/socket.h>

using platform::DeferredSipLine;
using platform::VoiceModem;
using sip_peers::DirectLine;
using testing_support::waitUntil;

namespace {

struct Reports
{
    explicit Reports(VoiceModem& line)
    {
        QObject::connect(&line, &VoiceModem::LineStatus, [this](const QString& t) { statuses << t; });
        QObject::connect(&line, &VoiceModem::Error, [this](int, const QString& t) { errors << t; });
        QObject::connect(&line, &VoiceModem::Disconnected, [this] { ++disconnects; });
    }
    QStringList statuses, errors;
    int disconnects = 0;
};

// True when a SIP stack answers an OPTIONS request on the port, sent after junk from the same
// address and port.
bool StackAnswers(quint16 port, const QByteArray& junk)
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0))
        return false;
    probe.writeDatagram(junk, QHostAddress::LocalHost, port);
    const QByteArray options = QStringLiteral("OPTIONS sip:probe@127.0.0.1:%1 SIP/2.0\r\n"
                                              "Via: SIP/2.0/UDP 127.0.0.1:%2;branch=z9hG4bK-probe1\r\n"
                                              "Max-Forwards: 70\r\nFrom: <sip:t@127.0.0.1>;tag=p1\r\n"
                                              "To: <sip:probe@127.0.0.1>\r\nCall-ID: probe-1@127.0.0.1\r\n"
                                              "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n")
                                   .arg(port)
                                   .arg(probe.localPort())
                                   .toLatin1();
    probe.writeDatagram(options, QHostAddress::LocalHost, port);
    QByteArray reply;
    waitUntil([&] {
        while (probe.hasPendingDatagrams() && !reply.startsWith("SIP/2.0 "))
            reply = probe.receiveDatagram().data();
        return reply.startsWith("SIP/2.0 ");
    });
    return reply.startsWith("SIP/2.0 200");
}

const QString kModule = QStringLiteral(KORVALEN_SIPLINE_MODULE);

} // namespace

// Nothing is loaded until a device opens; until then the line refuses calls like a closed one.
// A device closed while loading stays closed; the list set before the open is the one that
// opens, and a second open needs no second load.
TEST(DeferredSipLine, LoadsTheStackOnTheFirstOpenAndListens)
{
    const quint16 port = testing_support::FreeLoopbackPort(SOCK_DGRAM);
    ASSERT_NE(port, 0);
    DeferredSipLine line({}, nullptr, kModule);
    Reports reports(line);
    line.setLines({DirectLine(port)});
    line.setLocalCallersOnly(true);
    EXPECT_EQ(line.DeviceCount(), 1);
    EXPECT_EQ(line.LineState(), -1);
    EXPECT_EQ(line.MakeCall({}, {}, QStringLiteral("123"), false), QStringLiteral("Bad"));
    line.HangUp();
    ASSERT_TRUE(waitUntil([&] { return reports.disconnects == 1; }));
    EXPECT_EQ(line.loaded(), nullptr);

    // a device closed while the stack is still loading stays closed
    line.OpenDevice(0, true, true);
    EXPECT_EQ(line.LineState(), -1);
    line.CloseDevice();
    ASSERT_TRUE(waitUntil([&] { return line.loaded() != nullptr; }));
    EXPECT_EQ(line.LineState(), -1);
    EXPECT_TRUE(reports.statuses.isEmpty());
    auto* const loaded = line.loaded();

    line.OpenDevice(0, true, true);
    ASSERT_TRUE(waitUntil([&] { return line.LineState() == 0 && !reports.statuses.isEmpty(); }))
        << reports.errors.join(u'\n').toStdString();
    EXPECT_TRUE(reports.statuses.last().contains(QStringLiteral("listening"))) << reports.statuses.last().toStdString();
    // The stack's datagram guard comes with it: a malformed datagram leaves it open to its sender.
    EXPECT_TRUE(StackAnswers(port, "INVITE sip:k@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bK-j\r\n"
                                   "From: <sip:j@127.0.0.1>;tag=1\r\nTo: <sip:k@127.0.0.1>\r\nCall-ID: j@127.0.0.1\r\n"
                                   "CSeq: 1 INVITE\r\nContent-Length: 99999\r\n\r\nv=0\r\n"));

    EXPECT_EQ(line.loaded(), loaded) << "no second load";
    EXPECT_TRUE(reports.errors.isEmpty()) << reports.errors.join(u'\n').toStdString();
}

// Without its module the line says so, and where it looked, when a device is opened.
TEST(DeferredSipLine, AMissingModuleIsAnErrorThatSaysWhere)
{
    testing_support::TempFolder folder;
    DeferredSipLine line({DirectLine(5060)}, nullptr, folder.file(QStringLiteral("korvalen-sipline.so")));
    Reports reports(line);
    line.OpenDevice(0, true, false);
    ASSERT_TRUE(waitUntil([&] { return !reports.errors.isEmpty(); }));
    EXPECT_TRUE(reports.errors[0].startsWith(QStringLiteral("The SIP line could not be loaded: ")));
    EXPECT_TRUE(reports.errors[0].contains(folder.path())) << reports.errors[0].toStdString();
    EXPECT_EQ(line.LineState(), -1);
    EXPECT_EQ(line.loaded(), nullptr);
}
