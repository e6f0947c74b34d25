// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLine.h"

#include "platform/sound/AudioOutput.h"
#include "platform/telephone/SipDatagramGuard.h"
#include "InProcessSipPhone.h"
#include "SipPeers.h"
#include "TestCertificates.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <gtest/gtest.h>

using namespace platform;
using namespace sip_peers;
using testing_support::waitUntil;

namespace {

// Everything the line reported, in order.
struct Events
{
    QStringList log;

    explicit Events(SipLine& line)
    {
        QObject::connect(&line, &VoiceModem::CallerID, &line,
                         [this](const QString& number, const QString& name, int f) {
                             log << QStringLiteral("callerid %1|%2|%3").arg(number, name).arg(f);
                         });
        QObject::connect(&line, &VoiceModem::IncomingCall, &line,
                         [this](int n) { log << QStringLiteral("ring %1").arg(n); });
        QObject::connect(&line, &VoiceModem::PhoneConnected, &line,
                         [this](int, int second) { log << QStringLiteral("connected %1").arg(second); });
        QObject::connect(&line, &VoiceModem::DigitReceived, &line, [this](const QString& d) { log << "digit " + d; });
        QObject::connect(&line, &VoiceModem::Disconnected, &line, [this] { log << QStringLiteral("disconnected"); });
        QObject::connect(&line, &VoiceModem::Error, &line,
                         [this](int n, const QString& text) { log << QStringLiteral("error %1 %2").arg(n).arg(text); });
    }
    int count(const QString& prefix) const { return int(log.filter(QRegularExpression("^" + prefix)).size()); }
    bool waitFor(const QString& prefix, int n = 1, int ms = 10000)
    {
        return waitUntil([&] { return count(prefix) >= n; }, ms);
    }
    // True when no ring comes for three times the ring interval.
    bool ringingStopped()
    {
        const int rings = count("ring");
        return !waitUntil([&] { return count("ring") > rings; }, 150);
    }
    std::string trace() const { return log.join(u'\n').toStdString(); }
    QString digits() const { return log.filter(QRegularExpression("^digit ")).join(QString()).remove("digit "); }
};

// A line with one direct listener on a free port, open, rings 50 ms apart.
class SipLineCall : public ::testing::Test
{
protected:
    void SetUp() override
    {
        line = std::make_unique<SipLine>(QList{DirectLine(port)});
        line->setRingInterval(50);
        events = std::make_unique<Events>(*line);
        line->OpenDevice(0, true, false);
        ASSERT_EQ(line->LineState(), 0) << events->trace();
    }
    // sipp's arguments for who calls
    static QStringList From(const QString& uri = "<sip:5551234@127.0.0.1>") { return {"-key", "from", uri}; }
    QString us() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    QString uri() const { return QStringLiteral("sip:korvalen@") + us(); }
    // The caller rings; the line is answered and connected.
    void answer(bool started = true)
    {
        ASSERT_TRUE(started);
        ASSERT_TRUE(events->waitFor("ring 1")) << events->trace();
        line->Answer();
        ASSERT_TRUE(events->waitFor("connected")) << events->trace();
        EXPECT_EQ(line->LineState(), 2);
    }
    void hangUp()
    {
        line->HangUp();
        ASSERT_TRUE(events->waitFor("disconnected")) << events->trace();
        EXPECT_EQ(line->LineState(), 0);
        EXPECT_EQ(line->audioDevice(), -1);
    }

    quint16 port = ListenerPort();
    std::unique_ptr<Events> events; // goes after the line that reports to it
    std::unique_ptr<SipLine> line;
};

// The caller's ID as the line reports it, and every way a ringing or answered call ends: turned
// away by us while ringing (the caller hears busy), given up by the caller (a CANCEL), or hung up
// by the caller (a BYE) after a second caller heard busy while the first call went on.
TEST_F(SipLineCall, RingsWithTheCallersIdAndEndsWhicheverSideGoes)
{
    enum End { TurnedAway, GivenUp, HungUp };
    const std::tuple<QString, QString, End> rows[] = {
        {"\"Alice Smith\" <sip:5551234@127.0.0.1>", "callerid 5551234|Alice Smith|12", TurnedAway},
        {"<sip:5551234@127.0.0.1>", "callerid 5551234||8", GivenUp},
        {"<sip:127.0.0.1>", "callerid ||32", HungUp},
    };
    for (const auto& [from, expected, end] : rows) {
        SCOPED_TRACE(from.toStdString());
        events->log.clear();
        InProcessSipPhone caller(from);
        ASSERT_TRUE(caller.call(uri()));
        ASSERT_TRUE(events->waitFor("ring 3")) << events->trace();
        EXPECT_EQ(events->log.mid(0, 4), (QStringList{expected, "ring 1", "ring 2", "ring 3"}));
        EXPECT_EQ(line->LineState(), 1);
        if (end == HungUp) {
            line->Answer();
            ASSERT_TRUE(caller.waitFor(QStringLiteral("connected")));
            InProcessSipPhone second(QStringLiteral("<sip:222@127.0.0.1>"));
            ASSERT_TRUE(second.call(uri()));
            EXPECT_TRUE(second.waitFor(QStringLiteral("refused 486"))) << second.log().join(u' ').toStdString();
            EXPECT_EQ(line->LineState(), 2);
        }
        EXPECT_EQ(events->count("disconnected"), 0);
        end == TurnedAway ? line->HangUp() : caller.hangUp();
        ASSERT_TRUE(events->waitFor("disconnected")) << events->trace();
        EXPECT_TRUE(caller.waitFor(end == TurnedAway ? QStringLiteral("refused 486") : QStringLiteral("ended by us")))
            << caller.log().join(u' ').toStdString();
        EXPECT_EQ(line->LineState(), 0);
        EXPECT_EQ(line->audioDevice(), -1);
        EXPECT_EQ(events->count("connected"), end == HungUp ? 1 : 0);
        EXPECT_EQ(events->count("callerid"), 1);
        EXPECT_EQ(events->count("error"), 0) << events->trace();
        EXPECT_TRUE(events->ringingStopped());
        EXPECT_EQ(events->count("disconnected"), 1);
    }
}

// An answered call sends silence between prompts, so the far end keeps hearing from us. Our
// hang-up ends it once, after HangUp returns, with a BYE; also when the caller has vanished.
TEST_F(SipLineCall, AnsweredCallSendsSilenceAndHangUpEndsItOnce)
{
    for (const bool vanished : {false, true}) {
        SCOPED_TRACE(vanished ? "the caller vanished" : "the caller is there");
        events->log.clear();
        RtpListener ear;
        Sipp caller(QStringLiteral("caller-own-media.xml"), us(),
                    From() << QStringLiteral("-key") << QStringLiteral("rtp_port") << QString::number(ear.port));
        answer(caller.started());
        QPointer<AudioOutput> output = AudioOutputs::instance().output(line->audioDevice());
        ASSERT_NE(output, nullptr);
        EXPECT_TRUE(output->description().startsWith(u"SIP call"));
        ASSERT_TRUE(waitUntil([&] { return ear.packets() >= 10; }, 5000));
        if (vanished)
            caller.kill();
        line->HangUp();
        EXPECT_EQ(events->count("disconnected"), 0) << "Disconnected comes after HangUp returns";
        ASSERT_TRUE(events->waitFor("disconnected", 1, 2000));
        EXPECT_EQ(output, nullptr) << "the call's output goes with the call";
        EXPECT_EQ(line->audioDevice(), -1);
        EXPECT_TRUE(vanished || caller.succeeded()) << "the caller was sent a BYE";
        QCoreApplication::processEvents();
        EXPECT_EQ(events->count("disconnected"), 1);
    }
}

TEST_F(SipLineCall, PassesKeypadDigitsInOrderAndIgnoresEverythingElse)
{
    Sipp caller(QStringLiteral("caller-digits.xml"), us(), From());
    answer(caller.started());
    ASSERT_TRUE(events->waitFor("digit", 5)) << events->trace();
    // the caller waits for our BYE after its last key
    ASSERT_TRUE(waitUntil([&] { return caller.messages().count(QStringLiteral("CSeq: 7 INFO")) >= 2; }, 5000));
    EXPECT_EQ(events->digits(), QStringLiteral("1#23*"));
    hangUp();
    EXPECT_TRUE(caller.succeeded()) << caller.messages().right(2000).toStdString();
    EXPECT_EQ(events->count("disconnected"), 1);
}

// A direct listener kept to callers on this machine rings only for callers from loopback, also
// after it is opened again; answers to the calls it places come from anywhere.
TEST_F(SipLineCall, LocalCallersOnlyRingsForCallersOnThisMachineOnly)
{
    const QString other = OtherLocalAddress();
    if (other.isEmpty())
        GTEST_SKIP() << "this machine has no address besides loopback to call from";
    const std::tuple<const char*, bool, bool, QString, bool> rows[] = {
        // name, kept to this machine, opened again, calling from, rings
        {"from loopback", true, false, "127.0.0.1", true},
        {"from another address", true, false, other, false},
        {"from another address, after the line was opened again", true, true, other, false},
        {"from another address, switched off", false, false, other, true},
    };
    for (const auto& [name, localOnly, reopen, from, rings] : rows) {
        SCOPED_TRACE(name);
        line->setLocalCallersOnly(localOnly);
        if (reopen)
            line->OpenDevice(0, true, false);
        events->log.clear();
        Sipp caller(QStringLiteral("caller.xml"), QStringLiteral("%1:%2").arg(from).arg(port),
                    From(QStringLiteral("<sip:5551234@%1>").arg(from)), from);
        ASSERT_TRUE(caller.started());
        if (rings) {
            EXPECT_TRUE(events->waitFor("ring 1")) << caller.messages().right(2000).toStdString();
        } else {
            // unanswered, the caller sends its INVITE again after half a second: time enough to ring
            ASSERT_TRUE(waitUntil([&] { return caller.messages().count(QStringLiteral("INVITE sip:")) >= 2; }, 5000));
            EXPECT_EQ(events->count("ring"), 0) << caller.messages().right(2000).toStdString();
        }
        hangUp();
    }

    line->setLocalCallersOnly(true);
    Sipp callee(QStringLiteral("callee.xml"), QString(), {"-m", "1"}, other);
    const QString number = QStringLiteral("sip:alert@") + callee.address();
    events->log.clear();
    ASSERT_EQ(line->MakeCall(QString(), QString(), number, false), number);
    ASSERT_TRUE(events->waitFor("connected")) << events->trace() << callee.messages().right(2000).toStdString();
    line->HangUp();
    EXPECT_TRUE(callee.succeeded()) << callee.messages().right(2000).toStdString();
}

// One malformed datagram, or a spoofed one, must not make the line deaf to its sender: with an
// account every call comes from the provider's proxy.
TEST_F(SipLineCall, AMalformedDatagramLeavesTheLineOpenToItsSender)
{
    const QByteArray invite = "INVITE sip:korvalen@127.0.0.1 SIP/2.0\r\n"
                              "Via: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bK-junk\r\n"
                              "From: <sip:junk@127.0.0.1>;tag=1\r\nTo: <sip:korvalen@127.0.0.1>\r\n"
                              "Call-ID: junk@127.0.0.1\r\nCSeq: 1 INVITE\r\n";
    const std::pair<const char*, QByteArray> rows[] = {
        {"a short INVITE that promises a long body", invite + "Content-Length: 99999\r\n\r\nv=0\r\n"},
        {"a NUL byte inside a header", invite + QByteArray("Subject: a\0b\r\nContent-Length: 0\r\n\r\n", 35)},
        {"bytes that are no SIP at all", QByteArray(300, '\xff')},
    };
    for (const auto& [name, datagram] : rows) {
        SCOPED_TRACE(name);
        events->log.clear();
        const uint64_t dropped = sip_datagram_guard::DroppedCount();
        const quint16 from = FreeUdpPort();
        {
            QUdpSocket junk;
            ASSERT_TRUE(junk.bind(QHostAddress::LocalHost, from));
            ASSERT_EQ(junk.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
        }
        // the same address and port then calls for real
        Sipp caller(QStringLiteral("caller.xml"), us(), From() << QStringLiteral("-p") << QString::number(from));
        ASSERT_TRUE(caller.started());
        EXPECT_TRUE(events->waitFor("ring 1")) << caller.messages().right(2000).toStdString();
        EXPECT_EQ(sip_datagram_guard::DroppedCount() - dropped, 1u) << "the stack saw the datagram through the guard";
        hangUp();
        caller.kill();
    }
}

// ---- outgoing calls ----

// Hanging up without a call still reports Disconnected, once, later. Plain numbers go with the
// prefix to the target host; the line refuses what it cannot dial (a plain number without a
// target host says why), a second call while one is up, and any call while closed. A busy
// callee is an error, then the end of the call.
TEST_F(SipLineCall, DialsPlainNumbersAtTheTargetAndRefusesWhatItCannot)
{
    line->HangUp();
    EXPECT_EQ(events->count("disconnected"), 0);
    ASSERT_TRUE(events->waitFor("disconnected"));
    QCoreApplication::processEvents();
    EXPECT_EQ(events->log, QStringList{"disconnected"});
    EXPECT_EQ(line->MakeCall(QString(), QString(), QStringLiteral("555 0100"), false), "Bad Number");
    ASSERT_TRUE(events->waitFor("error")) << "without a target host, and says so";
    EXPECT_TRUE(events->log.last().contains(QStringLiteral("no target host"))) << events->trace();
    EXPECT_TRUE(events->log.last().contains(QStringLiteral("Server or target host")));
    for (const char* number : {"", "sip:", "no such number!", "sip:a b@127.0.0.1", "<sip:x@127.0.0.1>"})
        EXPECT_EQ(line->MakeCall(QString(), QString(), number, false), "Bad Number") << number;
    EXPECT_EQ(line->LineState(), 0);
    QCoreApplication::processEvents(); // the refusals' reasons
    events->log.clear();
    Sipp busy(QStringLiteral("callee-busy.xml"), QString()); // its phrase, word for word
    const QString number = QStringLiteral("sip:alert@") + busy.address();
    ASSERT_EQ(line->MakeCall(QString(), QString(), number, false), number);
    ASSERT_TRUE(events->waitFor("disconnected")) << events->trace();
    EXPECT_EQ(events->log, (QStringList{"error 486 Call failed: 486 Busy Here", "disconnected"}));

    InProcessSipPhone callee;
    ASSERT_TRUE(callee.started());
    line->CloseDevice();
    line->setLines({DirectLine(port, callee.address())});
    line->setDialPrefix(QStringLiteral("9"));
    line->OpenDevice(0, true, false);
    EXPECT_EQ(line->MakeCall(QString(), QString(), QStringLiteral("5551234"), false), QStringLiteral("5551234"));
    EXPECT_EQ(line->MakeCall(QString(), QString(), QStringLiteral("5551234"), false), QStringLiteral("Busy"));
    ASSERT_TRUE(events->waitFor("connected")) << events->trace();
    hangUp();
    EXPECT_TRUE(callee.incomingTo().startsWith(QStringLiteral("sip:95551234@127.0.0.1")))
        << callee.incomingTo().toStdString();

    line->CloseDevice();
    EXPECT_EQ(line->LineState(), -1);
    EXPECT_EQ(line->MakeCall(QString(), QString(), number, false), QStringLiteral("Bad"));
}

// A device whose port another program holds does not open, and says why.
TEST(SipLineDevices, ADeviceThatCannotOpenSaysWhy)
{
    QUdpSocket taken;
    ASSERT_TRUE(taken.bind(QHostAddress::Any, ListenerPort(), QAbstractSocket::DontShareAddress));
    SipLine line({DirectLine(taken.localPort())});
    Events events(line);
    line.OpenDevice(0, true, true);
    ASSERT_TRUE(events.waitFor("error"));
    EXPECT_EQ(
        events.log.last(),
        QStringLiteral("error 1 Cannot listen on UDP port %1; another program is using it.").arg(taken.localPort()));
    EXPECT_EQ(line.LineState(), -1);
}

// ---- accounts ----

// TLS in front of a sipp that speaks TCP: the forwarder in peers/, with the test CA's certificate
// for 127.0.0.1 and localhost.
class TlsFront
{
public:
    explicit TlsFront(quint16 target)
    {
        const TestCertificates::Identity& tls = TestCertificates::instance().good();
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/tls-forward.py"), tls.certFile, tls.keyFile,
                        QString::number(target)});
        if (process_.waitForStarted(5000) && waitUntil([this] { return process_.canReadLine(); }, 10000)) {
            const QByteArray ready = process_.readLine().trimmed();
            if (ready.startsWith("ready "))
                port = ready.mid(6).toUShort();
        }
    }
    ~TlsFront()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }

    quint16 port = 0;

private:
    QProcess process_;
};

// An account at a registrar that challenges for the password; "s3cret" is the right one. With
// it, the line registers and takes the registrar's call over UDP, TCP and TLS; with a wrong one
// it says what to check and does not try again and again. Over TLS, a server whose certificate
// the program does not trust is refused before the account's name goes to it, and a call that
// offers SRTP is answered with it, so the caller's keys are not sent in clear either.
TEST(SipLineAccount, RegistersWithThePasswordOnlyAndTakesACallThroughTheRegistration)
{
    struct Row
    {
        const char* transport;
        const char* password = "s3cret";
        bool trusted = true;
        bool srtp = false; // the call offers it
    };
    for (const Row row : {Row{"udp"}, Row{"udp", "s3cre7"}, Row{"tcp"}, Row{"tls", "s3cret", false}, Row{"tls"},
                          Row{"tls", "s3cret", true, true}}) {
        const QString transport = QString::fromLatin1(row.transport);
        SCOPED_TRACE(row.transport + std::string(" ") + row.password + (row.trusted ? "" : " untrusted"));
        if (row.trusted && transport == u"tls")
            TestCertificates::trustTestCa();
        const quint16 sippPort = FreeUdpPort();
        std::unique_ptr<TlsFront> front = transport == u"tls" ? std::make_unique<TlsFront>(sippPort) : nullptr;
        ASSERT_TRUE(!front || front->port) << "python3 and its ssl module: run scripts/install-deps";
        // over TLS by name: the stack matches a certificate's names, not its addresses
        const QString proxy =
            front ? QStringLiteral("localhost:%1").arg(front->port) : QStringLiteral("127.0.0.1:%1").arg(sippPort);
        Sipp registrar(QStringLiteral("registrar-calls.xml"), QString(),
                       {"-t", transport == u"udp" ? "u1" : "t1", "-m", "1", "-key", "password", "s3cret", "-key",
                        "route", QStringLiteral("<sip:%1;transport=%2;lr>").arg(proxy, transport), "-key", "sent_by",
                        QStringLiteral("SIP/2.0/%1 %2").arg(transport.toUpper(), proxy), "-key", "media",
                        row.srtp ? "RTP/SAVP 0 101" : "RTP/AVP 0 101", "-key", "media_attribute",
                        row.srtp ? "a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:yAu/mz8DfYdNh+fHong0wztdG6xwIIRhbg0/SV1w"
                                 : "a=sendrecv"},
                       QStringLiteral("127.0.0.1"), sippPort);
        ASSERT_TRUE(registrar.started());
        SipLineConfig account;
        account.identity = QStringLiteral("sip:alice@127.0.0.1");
        account.server = proxy;
        account.password = QString::fromLatin1(row.password);
        account.transport = transport == u"udp" ? QString() : transport;
        SipLine line({account});
        Events events(line);
        QStringList said;
        QObject::connect(&line, &VoiceModem::LineStatus, &line, [&](const QString& text) { said << text; });
        line.OpenDevice(0, true, false);
        const auto trail = [&] {
            return (events.log.join(u'\n') + u'\n' + registrar.messages().right(3000)).toStdString();
        };
        const auto registers = [&] { return registrar.messages().count(QStringLiteral("REGISTER sip:")); };
        if (!row.trusted) {
            ASSERT_TRUE(events.waitFor("error")) << trail();
            EXPECT_EQ(events.log[0], "error 1 Registration failed: no secure connection to the server. Check the "
                                     "server address and port, and that the server's certificate is for that name "
                                     "and from an authority this computer trusts.");
            EXPECT_EQ(registers(), 0) << trail();
            continue;
        }
        if (account.password != u"s3cret") {
            ASSERT_TRUE(events.waitFor("error")) << trail();
            EXPECT_EQ(events.log[0], "error 401 Registration failed: 401 Unauthorized. Check the user name and "
                                     "password of the SIP account.");
            EXPECT_EQ(registers(), 2) << "one answer to the challenge, with the password";
            EXPECT_FALSE(waitUntil([&] { return registers() > 2; }, 1000)) << trail();
            EXPECT_EQ(events.log.size(), 1) << trail();
            continue;
        }
        // the registrar calls only once the digest answered its challenge
        ASSERT_TRUE(events.waitFor("ring 1")) << trail();
        ASSERT_TRUE(waitUntil([&] { return !said.isEmpty(); }));
        EXPECT_EQ(said[0], QStringLiteral("SIP alice@127.0.0.1: registered, ready for calls."));
        EXPECT_EQ(events.log[0], QStringLiteral("callerid 5550100|Bob|12"));
        line.Answer();
        ASSERT_TRUE(events.waitFor("connected")) << trail();
        ASSERT_TRUE(events.waitFor("digit")) << trail();
        EXPECT_EQ(events.digits(), QStringLiteral("5"));
        line.HangUp();
        ASSERT_TRUE(events.waitFor("disconnected"));
        EXPECT_FALSE(registrar.succeeded(200)) << "the registration stays while the line is open";
        line.CloseDevice();
        EXPECT_TRUE(registrar.succeeded()) << trail();
        EXPECT_EQ(events.count("error"), 0) << trail();
        EXPECT_FALSE(registrar.messages().contains(QStringLiteral("s3cret"))) << "only a digest goes on the wire";
        QString answer; // the line's, with its media
        for (const QString& message : registrar.messages().split(QStringLiteral("\n-----")))
            if (message.contains(QStringLiteral("SIP/2.0 200")) && message.contains(QStringLiteral("m=audio")))
                answer = message;
        EXPECT_TRUE(answer.contains(QRegularExpression(row.srtp ? "m=audio \\d+ RTP/SAVP " : "m=audio \\d+ RTP/AVP ")))
            << answer.toStdString();
        EXPECT_EQ(answer.contains(QStringLiteral("a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:")), row.srtp);
        const QRegularExpression registerOver("REGISTER sip:\\S+ SIP/2.0\\s+Via: SIP/2.0/" + transport.toUpper() + ' ');
        EXPECT_TRUE(registrar.messages().contains(registerOver)) << trail();
    }
}

} // namespace
