// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipLine.h"

#include "platform/SettingsStore.h"
#include "platform/sound/AudioOutput.h"
#include "platform/telephone/SipDatagramGuard.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"
#include "InProcessSipPhone.h"
#include "SipPeers.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUdpSocket>
#include <functional>
#include <gtest/gtest.h>

using namespace platform;
using namespace sip_peers;
using testing_support::TempFolder;
using testing_support::waitUntil;

namespace {

// Everything the line reported, in order.
struct Events
{
    QStringList log;
    QList<qint64> ringTimes;
    QElapsedTimer clock;
    int connectedDevice = -1;

    explicit Events(SipLine& line)
    {
        clock.start();
        QObject::connect(&line, &VoiceModem::CallerID, &line,
                         [this](const QString& number, const QString& name, int flags) {
                             log << QStringLiteral("callerid %1|%2|%3").arg(number, name).arg(flags);
                         });
        QObject::connect(&line, &VoiceModem::IncomingCall, &line, [this](int rings) {
            log << QStringLiteral("ring %1").arg(rings);
            ringTimes << clock.elapsed();
        });
        QObject::connect(&line, &VoiceModem::PhoneConnected, &line, [this](int device, int second) {
            connectedDevice = device;
            log << QStringLiteral("connected %1").arg(second);
        });
        QObject::connect(&line, &VoiceModem::DigitReceived, &line, [this](const QString& d) { log << "digit " + d; });
        QObject::connect(&line, &VoiceModem::Disconnected, &line, [this] { log << QStringLiteral("disconnected"); });
        QObject::connect(&line, &VoiceModem::Error, &line,
                         [this](int n, const QString& text) { log << QStringLiteral("error %1 %2").arg(n).arg(text); });
    }
    int count(const QString& prefix) const
    {
        return int(std::count_if(log.begin(), log.end(), [&](const QString& e) { return e.startsWith(prefix); }));
    }
    bool waitFor(const QString& prefix, int n = 1, int ms = 10000)
    {
        return waitUntil([&] { return count(prefix) >= n; }, ms);
    }
    std::string trace() const { return log.join(u'\n').toStdString(); }
    QString digits() const
    {
        QString keys;
        for (const QString& e : log)
            if (e.startsWith(u"digit "))
                keys += e.mid(6);
        return keys;
    }
};

SipLineConfig Direct(int port, const QString& target = {})
{
    SipLineConfig c;
    c.kind = SipLineConfig::Kind::Direct;
    c.port = port;
    c.server = target;
    return c;
}

// A line with one direct listener on a free port, open, rings 50 ms apart.
class SipLineCall : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = ListenerPort();
        line = std::make_unique<SipLine>(QList<SipLineConfig>{Direct(port)});
        line->setRingInterval(kRingMs);
        events = std::make_unique<Events>(*line);
        line->OpenDevice(0, true, false);
        ASSERT_EQ(line->LineState(), 0) << events->trace();
    }
    void TearDown() override { line.reset(); }
    QString us() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // A caller rings; the line is answered and connected.
    void answer(Sipp& caller)
    {
        ASSERT_TRUE(caller.started());
        answerRinging();
    }
    void answer(InProcessSipPhone& caller)
    {
        ASSERT_TRUE(caller.started());
        ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
        answerRinging();
    }
    void answerRinging()
    {
        ASSERT_TRUE(events->waitFor("ring 1")) << events->trace();
        line->Answer();
        ASSERT_TRUE(events->waitFor("connected")) << events->trace();
        EXPECT_EQ(line->LineState(), 2);
    }

    static constexpr int kRingMs = 50;
    quint16 port = 0;
    std::unique_ptr<SipLine> line;
    std::unique_ptr<Events> events;
};

TEST_F(SipLineCall, RingsAtItsOwnCadenceWithTheCallersId)
{
    struct Row
    {
        QString from, expected;
    };
    const QList<Row> rows = {
        {QStringLiteral("\"Alice Smith\" <sip:5551234@127.0.0.1>"), QStringLiteral("callerid 5551234|Alice Smith|12")},
        {QStringLiteral("<sip:5551234@127.0.0.1>"), QStringLiteral("callerid 5551234||8")},
        {QStringLiteral("<sip:127.0.0.1>"), QStringLiteral("callerid ||32")},
    };
    InProcessSipPhone caller;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.from.toStdString());
        events->log.clear();
        events->ringTimes.clear();
        caller.clearLog();
        caller.setFrom(row.from);
        ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
        ASSERT_TRUE(events->waitFor("ring 3")) << events->trace();
        EXPECT_EQ(events->log.mid(0, 4), (QStringList{row.expected, "ring 1", "ring 2", "ring 3"}));
        EXPECT_EQ(line->LineState(), 1);
        for (int i = 1; i < 3; ++i) {
            EXPECT_GE(events->ringTimes[i] - events->ringTimes[i - 1], kRingMs * 8 / 10);
            EXPECT_LE(events->ringTimes[i] - events->ringTimes[i - 1], kRingMs * 3);
        }
        // turned away while ringing: the caller hears busy, the ringing stops, the next row rings anew
        line->HangUp();
        ASSERT_TRUE(events->waitFor("disconnected"));
        EXPECT_EQ(line->LineState(), 0);
        ASSERT_TRUE(caller.waitFor(QStringLiteral("refused 486"))) << caller.log().join(u' ').toStdString();
        const int rings = events->count("ring");
        EXPECT_FALSE(waitUntil([&] { return events->count("ring") > rings; }, 3 * kRingMs)) << "the ringing stops";
    }
}

// (speech heard at the far end is in CallOverSipTest)
TEST_F(SipLineCall, AnsweredCallSendsSilenceAndHangUpEndsItOnce)
{
    RtpListener ear;
    Sipp caller(QStringLiteral("caller-own-media.xml"), us(),
                {QStringLiteral("-key"), QStringLiteral("from"), QStringLiteral("<sip:5551234@127.0.0.1>"),
                 QStringLiteral("-key"), QStringLiteral("rtp_port"), QString::number(ear.port)});
    answer(caller);
    const int device = events->connectedDevice;
    ASSERT_EQ(device, line->audioDevice());
    QPointer<AudioOutput> output = AudioOutputs::instance().output(device);
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->description().startsWith(u"SIP call"));
    // between prompts the line sends silence, so the far end keeps hearing from us
    ASSERT_TRUE(waitUntil([&] { return ear.packets() >= 10; }, 5000));
    EXPECT_LT(ear.soundSeconds(), 0);

    line->HangUp();
    EXPECT_EQ(events->count("disconnected"), 0) << "Disconnected comes after HangUp returns";
    ASSERT_TRUE(events->waitFor("disconnected"));
    EXPECT_EQ(output, nullptr) << "the call's output goes with the call";
    EXPECT_EQ(line->audioDevice(), -1);
    EXPECT_TRUE(caller.succeeded()) << "the caller was sent a BYE";
    EXPECT_EQ(events->count("disconnected"), 1);
}

TEST_F(SipLineCall, PassesKeypadDigitsInOrderAndIgnoresEverythingElse)
{
    Sipp caller(QStringLiteral("caller-digits.xml"), us(),
                {QStringLiteral("-key"), QStringLiteral("from"), QStringLiteral("<sip:5551234@127.0.0.1>")});
    answer(caller);
    ASSERT_TRUE(events->waitFor("digit", 5)) << events->trace();
    // the caller waits for our BYE after its last key
    ASSERT_TRUE(waitUntil([&] { return caller.messages().count(QStringLiteral("CSeq: 7 INFO")) >= 2; }, 5000));
    EXPECT_EQ(events->digits(), QStringLiteral("1#23*"));
    line->HangUp();
    EXPECT_TRUE(caller.succeeded()) << caller.messages().right(2000).toStdString();
    EXPECT_EQ(events->count("disconnected"), 1);
}

TEST_F(SipLineCall, FarEndHangUpAndCancelEndTheCall)
{
    struct Row
    {
        const char* name;
        bool answered;
    };
    for (const Row& row : {Row{"the caller hangs up", true}, Row{"the caller gives up ringing", false}}) {
        SCOPED_TRACE(row.name);
        events->log.clear();
        InProcessSipPhone caller;
        if (row.answered) {
            answer(caller);
            ASSERT_TRUE(caller.waitFor(QStringLiteral("connected")));
        } else {
            ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
            ASSERT_TRUE(caller.waitFor(QStringLiteral("ringing"))) << caller.log().join(u' ').toStdString();
        }
        caller.hangUp(); // a BYE, or a CANCEL
        ASSERT_TRUE(events->waitFor("disconnected")) << events->trace();
        EXPECT_TRUE(caller.waitFor(QStringLiteral("ended by us"))) << caller.log().join(u' ').toStdString();
        EXPECT_EQ(line->LineState(), 0);
        EXPECT_EQ(line->audioDevice(), -1);
        EXPECT_EQ(events->count("connected"), row.answered ? 1 : 0);
        EXPECT_EQ(events->count("error"), 0) << events->trace();
        const int rings = events->count("ring");
        EXPECT_FALSE(waitUntil([&] { return events->count("ring") > rings; }, 3 * kRingMs)) << "the ringing stops";
        EXPECT_EQ(events->count("disconnected"), 1);
    }
}

TEST_F(SipLineCall, SecondCallerHearsBusyAndTheFirstCallGoesOn)
{
    InProcessSipPhone first(QStringLiteral("<sip:111@127.0.0.1>"));
    answer(first);
    InProcessSipPhone second(QStringLiteral("<sip:222@127.0.0.1>"));
    ASSERT_TRUE(second.call(QStringLiteral("sip:korvalen@") + us()));
    EXPECT_TRUE(second.waitFor(QStringLiteral("refused 486"))) << second.log().join(u' ').toStdString();
    EXPECT_EQ(line->LineState(), 2);
    EXPECT_EQ(events->count("callerid"), 1);
    EXPECT_EQ(events->count("disconnected"), 0);
    line->HangUp();
    EXPECT_TRUE(first.waitFor(QStringLiteral("ended by them"))) << first.log().join(u' ').toStdString();
    EXPECT_EQ(events->count("disconnected"), 1);
}

TEST_F(SipLineCall, HangUpAfterTheCallerVanishedStillDisconnects)
{
    Sipp caller(QStringLiteral("caller.xml"), us(),
                {QStringLiteral("-key"), QStringLiteral("from"), QStringLiteral("<sip:5551234@127.0.0.1>")});
    answer(caller);
    caller.kill();
    line->HangUp();
    ASSERT_TRUE(events->waitFor("disconnected", 1, 2000));
    EXPECT_EQ(line->LineState(), 0);
}

TEST_F(SipLineCall, HangUpWithoutACallDisconnectsOnceLater)
{
    line->HangUp();
    EXPECT_EQ(events->count("disconnected"), 0);
    ASSERT_TRUE(events->waitFor("disconnected"));
    QCoreApplication::processEvents();
    EXPECT_EQ(events->log, QStringList{"disconnected"});
}

// A direct listener kept to callers on this machine rings only for callers from loopback, also
// after it is opened again; answers to the calls it places come from anywhere.
TEST_F(SipLineCall, LocalCallersOnlyRingsForCallersOnThisMachineOnly)
{
    const QString other = OtherLocalAddress();
    if (other.isEmpty())
        GTEST_SKIP() << "this machine has no address besides loopback to call from";
    struct Row
    {
        const char* name;
        bool localOnly, reopen;
        QString from;
        bool rings;
    };
    const Row rows[] = {
        {"from loopback", true, false, QStringLiteral("127.0.0.1"), true},
        {"from another address", true, false, other, false},
        {"from another address, after the line was opened again", true, true, other, false},
        {"from another address, switched off", false, false, other, true},
        {"from another address, switched off and opened again", false, true, other, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        line->setLocalCallersOnly(row.localOnly);
        if (row.reopen)
            line->OpenDevice(0, true, false);
        events->log.clear();
        Sipp caller(QStringLiteral("caller.xml"), QStringLiteral("%1:%2").arg(row.from).arg(port),
                    {QStringLiteral("-key"), QStringLiteral("from"), QStringLiteral("<sip:5551234@%1>").arg(row.from)},
                    row.from);
        ASSERT_TRUE(caller.started());
        if (row.rings) {
            EXPECT_TRUE(events->waitFor("ring 1")) << caller.messages().right(2000).toStdString();
        } else {
            // unanswered, the caller sends its INVITE again after half a second: time enough to ring
            ASSERT_TRUE(waitUntil([&] { return caller.messages().count(QStringLiteral("INVITE sip:")) >= 2; }, 5000));
            EXPECT_EQ(events->count("ring"), 0) << caller.messages().right(2000).toStdString();
        }
        line->HangUp();
        ASSERT_TRUE(events->waitFor("disconnected"));
        EXPECT_EQ(line->LineState(), 0);
    }

    line->setLocalCallersOnly(true);
    Sipp callee(QStringLiteral("callee.xml"), QString(), {QStringLiteral("-m"), QStringLiteral("1")}, other);
    const QString number = QStringLiteral("sip:alert@") + callee.address();
    events->log.clear();
    ASSERT_EQ(line->MakeCall(QString(), QString(), number, false), number);
    ASSERT_TRUE(events->waitFor("connected")) << events->trace() << callee.messages().right(2000).toStdString();
    line->HangUp();
    EXPECT_TRUE(callee.succeeded()) << callee.messages().right(2000).toStdString();
}

// ---- another SIP stack ----

// A caller on a whole SIP stack, as a softphone calls: its keys go as RFC 4733 events.
TEST_F(SipLineCall, AnotherStacksCallerIsAnsweredItsKeysArriveInOrderAndItSeesOurHangUp)
{
    InProcessSipPhone caller(QStringLiteral("\"Carol\" <sip:5550199@127.0.0.1>"));
    answer(caller);
    ASSERT_TRUE(caller.waitFor(QStringLiteral("connected"))) << caller.log().join(u' ').toStdString();
    // a last key behind them: a key heard twice would come before it
    caller.press(QStringLiteral("4#*5"));
    ASSERT_TRUE(events->waitFor("digit", 4)) << events->trace();
    EXPECT_EQ(events->digits(), QStringLiteral("4#*5")) << "each key arrives once, in order";
    line->HangUp();
    ASSERT_TRUE(events->waitFor("disconnected"));
    EXPECT_TRUE(caller.waitFor(QStringLiteral("ended by them"))) << caller.log().join(u' ').toStdString();
    EXPECT_EQ(events->count("error"), 0) << events->trace();
}

// ---- outgoing calls (a whole alert call, heard at the callee, is in CallOverSipTest) ----

class SipLineDial : public SipLineCall
{
};

TEST_F(SipLineDial, PlainNumbersGetThePrefixAndTheTargetHost)
{
    InProcessSipPhone callee;
    ASSERT_TRUE(callee.started());
    line->CloseDevice();
    line->setLines({Direct(port, callee.address())});
    line->setDialPrefix(QStringLiteral("9"));
    line->OpenDevice(0, true, false);
    EXPECT_EQ(line->MakeCall(QString(), QString(), QStringLiteral("5551234"), false), QStringLiteral("5551234"));
    ASSERT_TRUE(events->waitFor("connected")) << events->trace();
    line->HangUp();
    ASSERT_TRUE(events->waitFor("disconnected"));
    // the call reached the target host's port; the number went with the prefix
    EXPECT_TRUE(callee.incomingTo().startsWith(QStringLiteral("sip:95551234@127.0.0.1")))
        << callee.incomingTo().toStdString();
}

TEST_F(SipLineDial, BusyCalleeGivesErrorThenDisconnected)
{
    Sipp busy(QStringLiteral("callee-busy.xml"), QString()); // its phrase, word for word
    const QString number = QStringLiteral("sip:alert@") + busy.address();
    ASSERT_EQ(line->MakeCall(QString(), QString(), number, false), number);
    ASSERT_TRUE(events->waitFor("disconnected")) << events->trace();
    EXPECT_EQ(events->log, (QStringList{"error 486 Call failed: 486 Busy Here", "disconnected"}));
    EXPECT_EQ(line->LineState(), 0);
}

TEST_F(SipLineDial, RefusesToDialWhatItCannot)
{
    for (const char* number : {"", "sip:", "no such number!", "sip:a b@127.0.0.1", "<sip:x@127.0.0.1>"})
        EXPECT_EQ(line->MakeCall(QString(), QString(), number, false), "Bad Number") << number;
    EXPECT_EQ(line->LineState(), 0);

    InProcessSipPhone callee;
    ASSERT_TRUE(callee.started());
    const QString number = QStringLiteral("sip:alert@") + callee.address();
    ASSERT_EQ(line->MakeCall(QString(), QString(), number, false), number);
    EXPECT_EQ(line->MakeCall(QString(), QString(), number, false), QStringLiteral("Busy"));
    line->HangUp();
    ASSERT_TRUE(events->waitFor("disconnected"));

    line->CloseDevice();
    EXPECT_EQ(line->LineState(), -1);
    EXPECT_EQ(line->MakeCall(QString(), QString(), number, false), QStringLiteral("Bad"));
}

// ---- devices ----

TEST(SipLineDevices, OpeningADeviceThatIsNotThereFails)
{
    SipLine line({Direct(5070)});
    Events events(line);
    line.OpenDevice(7, true, true);
    ASSERT_TRUE(events.waitFor("error"));
    EXPECT_EQ(line.LineState(), -1);
}

// ---- accounts ----

// An account at a registrar that challenges for the password; "s3cret" is the right one.
class SipLineAccount : public ::testing::Test
{
protected:
    void open(const QString& password)
    {
        ASSERT_TRUE(registrar.started());
        SipLineConfig account;
        account.identity = QStringLiteral("sip:alice@127.0.0.1");
        account.server = registrar.address();
        account.password = password;
        line = std::make_unique<SipLine>(QList<SipLineConfig>{account});
        line->setRingInterval(50);
        events = std::make_unique<Events>(*line);
        line->OpenDevice(0, true, false);
        ASSERT_EQ(line->LineState(), 0) << events->trace();
    }
    QString trail() const { return (events->log.join(u'\n') + u'\n' + registrar.messages().right(3000)); }

    Sipp registrar{QStringLiteral("registrar-calls.xml"),
                   QString(),
                   {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-key"), QStringLiteral("password"),
                    QStringLiteral("s3cret")}};
    std::unique_ptr<SipLine> line;
    std::unique_ptr<Events> events;
};

TEST_F(SipLineAccount, RegistersWithThePasswordAndTakesACallThroughTheRegistration)
{
    open(QStringLiteral("s3cret"));
    QStringList said; // the status bar hears that the account is registered
    QObject::connect(line.get(), &VoiceModem::LineStatus, line.get(), [&](const QString& text) { said << text; });
    // the registrar calls only once the digest answered its challenge
    ASSERT_TRUE(events->waitFor("ring 1")) << trail().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !said.isEmpty(); }));
    EXPECT_EQ(said[0], QStringLiteral("SIP alice@127.0.0.1: registered, ready for calls."));
    EXPECT_EQ(events->log[0], QStringLiteral("callerid 5550100|Bob|12"));
    line->Answer();
    ASSERT_TRUE(events->waitFor("connected")) << trail().toStdString();
    EXPECT_EQ(line->LineState(), 2);
    ASSERT_TRUE(events->waitFor("digit")) << trail().toStdString();
    EXPECT_EQ(events->digits(), QStringLiteral("5"));
    line->HangUp();
    ASSERT_TRUE(events->waitFor("disconnected"));
    EXPECT_FALSE(registrar.succeeded(200)) << "the registration stays while the line is open";
    line->CloseDevice();
    EXPECT_TRUE(registrar.succeeded()) << trail().toStdString();
    EXPECT_EQ(events->count("error"), 0) << trail().toStdString();
    EXPECT_FALSE(registrar.messages().contains(QStringLiteral("s3cret"))) << "only a digest goes on the wire";
}

TEST_F(SipLineAccount, AWrongPasswordGivesAnErrorAndNoEndlessRetries)
{
    open(QStringLiteral("s3cre7"));
    ASSERT_TRUE(events->waitFor("error")) << trail().toStdString();
    EXPECT_EQ(
        events->log[0],
        QStringLiteral(
            "error 401 Registration failed: 401 Unauthorized. Check the user name and password of the SIP account."))
        << trail().toStdString();
    const int registers = int(registrar.messages().count(QStringLiteral("REGISTER sip:")));
    EXPECT_EQ(registers, 2) << "one answer to the challenge, with the password";
    EXPECT_FALSE(
        waitUntil([&] { return registrar.messages().count(QStringLiteral("REGISTER sip:")) > registers; }, 1000))
        << trail().toStdString();
    EXPECT_EQ(events->count("error"), 1);
    EXPECT_EQ(events->count("ring"), 0);
}

// ---- settings ----

TEST(SipLineSettings, EntriesAreCheckedBeforeUse)
{
    auto account = [](QString identity, QString server, QString transport = {}) {
        SipLineConfig c;
        c.identity = identity;
        c.server = server;
        c.transport = transport;
        return c;
    };
    struct Row
    {
        SipLineConfig config;
        bool ok;
    };
    const QList<Row> rows = {
        {account("sip:alice@example.org", "sip.example.org"), true},
        {account("sip:alice@example.org:5061", "10.0.0.1:5070", "tcp"), true},
        {account("alice@example.org", "sip.example.org"), false},
        {account("sip:@example.org", "sip.example.org"), false},
        {account("sip:alice@example.org", ""), false},
        {account("sip:alice@example.org", "sip.example.org:99999"), false},
        {account("sip:alice@example.org", "sip example.org"), false},
        {account("sip:alice@example.org", "sip.example.org", "sctp"), false},
        {Direct(5070), true},
        {Direct(0), false},
        {Direct(5070, "127.0.0.1:5080"), true},
        {Direct(5070, "127.0.0.1:"), false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.config.problem().isEmpty(), row.ok)
            << row.config.identity.toStdString() << " " << row.config.server.toStdString() << " "
            << row.config.problem().toStdString();
}

TEST(SipLineSettings, StoredLikeTheMailPasswordAndRemovedEntriesLeaveNothing)
{
    TempFolder folder;
    SettingsStore store(folder.file("settings.ini"));
    SipLineConfig account;
    account.identity = QStringLiteral("sip:alice@example.org");
    account.server = QStringLiteral("sip.example.org:5060");
    account.user = QStringLiteral("alice7");
    account.password = QStringLiteral("pa ss;word=");
    account.transport = QStringLiteral("tcp");
    account.port = 5062;
    const QList<SipLineConfig> lines = {account, Direct(5070, "127.0.0.1:5080")};
    ASSERT_TRUE(SaveSipLines(store, lines));
    ASSERT_TRUE(SaveSipDialPrefix(store, QStringLiteral("9")));
    SettingsStore again(folder.file("settings.ini"));
    EXPECT_EQ(LoadSipLines(again), lines);
    EXPECT_EQ(LoadSipDialPrefix(again), QStringLiteral("9"));

    ASSERT_TRUE(SaveSipLines(store, {lines[1]}));
    EXPECT_EQ(LoadSipLines(SettingsStore(folder.file("settings.ini"))), QList<SipLineConfig>{lines[1]});
    EXPECT_FALSE(folder.read("settings.ini").contains("pa ss"));

    store.SaveSetting(QStringLiteral("sipDevices"), QStringLiteral("999999"));
    store.SaveSetting(QStringLiteral("sipDialPrefix"), QStringLiteral("9; rm"));
    EXPECT_LE(LoadSipLines(store).size(), 64);
    EXPECT_EQ(LoadSipDialPrefix(store), QString());
}

TEST(SipLineSettings, DialogEditsAddsAndRemovesEntriesAndRefusesBadOnes)
{
    SipSettingsDialog dialog({Direct(5070)}, 0);
    QTest::mouseClick(dialog.addButton, Qt::LeftButton);
    ASSERT_EQ(dialog.list->count(), 2);
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("alice@example.org"));
    QTest::keyClicks(dialog.serverEdit, QStringLiteral("sip.example.org"));
    QTest::keyClicks(dialog.passwordEdit, QStringLiteral("secret"));
    dialog.accept();
    EXPECT_FALSE(dialog.result() == QDialog::Accepted);
    EXPECT_TRUE(dialog.messageLabel->text().contains(QStringLiteral("sip:user@example.org")))
        << dialog.messageLabel->text().toStdString();
    dialog.identityEdit->clear();
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("sip:alice@example.org"));

    dialog.list->setCurrentRow(0);
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.messageLabel->text().toStdString();
    ASSERT_EQ(dialog.lines().size(), 1);
    EXPECT_EQ(dialog.lines()[0].identity, QStringLiteral("sip:alice@example.org"));
    EXPECT_EQ(dialog.lines()[0].password, QStringLiteral("secret"));
}

TEST(SipLineSettings, TheLinesDialogsSaveToTheStore)
{
    TempFolder folder;
    SettingsStore store(folder.file("settings.ini"));
    SipLine line({}, &store);
    testing_support::answerNext<SipSettingsDialog>([](SipSettingsDialog* d) {
        d->addEntry();
        d->kindBox->setCurrentIndex(1);
        d->portBox->setValue(5071);
        d->accept();
    });
    line.ShowModemDialog(0);
    EXPECT_EQ(line.DeviceName(0), QStringLiteral("SIP direct port 5071"));
    EXPECT_EQ(LoadSipLines(store), line.lines());

    testing_support::answerNext<SipLocationDialog>([](SipLocationDialog* d) {
        d->prefixEdit->setText(QStringLiteral("0,"));
        d->accept();
        EXPECT_FALSE(d->messageLabel->text().isEmpty());
        d->prefixEdit->setText(QStringLiteral("+1#"));
        d->accept();
    });
    line.ShowLocationDialog(0);
    EXPECT_EQ(line.dialPrefix(), QStringLiteral("+1#"));
    EXPECT_EQ(LoadSipDialPrefix(store), QStringLiteral("+1#"));
}

} // namespace

// One malformed datagram, or a spoofed one, must not make the line deaf to its sender: with an
// account every call comes from the provider's proxy.
TEST_F(SipLineCall, AMalformedDatagramLeavesTheLineOpenToItsSender)
{
    const QByteArray invite = "INVITE sip:korvalen@127.0.0.1 SIP/2.0\r\n"
                              "Via: SIP/2.0/UDP 127.0.0.1;branch=z9hG4bK-junk\r\n"
                              "From: <sip:junk@127.0.0.1>;tag=1\r\nTo: <sip:korvalen@127.0.0.1>\r\n"
                              "Call-ID: junk@127.0.0.1\r\nCSeq: 1 INVITE\r\n";
    const struct
    {
        const char* name;
        QByteArray datagram;
    } rows[] = {
        {"a short INVITE that promises a long body", invite + "Content-Length: 99999\r\n\r\nv=0\r\n"},
        {"a NUL byte inside a header", invite + QByteArray("Subject: a\0b\r\nContent-Length: 0\r\n\r\n", 35)},
        {"bytes that are no SIP at all", QByteArray(300, '\xff')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        events->log.clear();
        const uint64_t dropped = sip_datagram_guard::DroppedCount();
        const quint16 from = FreeUdpPort();
        {
            QUdpSocket junk;
            ASSERT_TRUE(junk.bind(QHostAddress::LocalHost, from));
            ASSERT_EQ(junk.writeDatagram(row.datagram, QHostAddress::LocalHost, port), row.datagram.size());
        }
        // the same address and port then calls for real
        Sipp caller(QStringLiteral("caller.xml"), us(),
                    {QStringLiteral("-key"), QStringLiteral("from"), QStringLiteral("<sip:5551234@127.0.0.1>"),
                     QStringLiteral("-p"), QString::number(from)});
        ASSERT_TRUE(caller.started());
        EXPECT_TRUE(events->waitFor("ring 1")) << caller.messages().right(2000).toStdString();
        EXPECT_EQ(sip_datagram_guard::DroppedCount() - dropped, 1u) << "the stack saw the datagram through the guard";
        line->HangUp();
        ASSERT_TRUE(events->waitFor("disconnected"));
        caller.kill();
    }
}
