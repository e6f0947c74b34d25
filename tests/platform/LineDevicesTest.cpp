// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"
#include "TestSupport.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// Two backends: "A1" and "A2 (data)", then "B1".
struct TwoBackends : ::testing::Test
{
    LineDeviceTable table;
    ScriptedLine* a =
        static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>(QStringList{"A1", "A2 (data)"})));
    ScriptedLine* b = static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>(QStringList{"B1"})));
};

} // namespace

// Devices are numbered across backends in one row: 0 and 1 are A's, 2 is B's.
TEST_F(TwoBackends, ControlNamesTheOpenLineAndClosesItWhenGone)
{
    QList<VoiceModem*> named; // outlives the control, which still reports as it goes
    {
        ModemControl control(table);
        QObject::connect(&control, &ModemControl::LineChanged, [&](VoiceModem* line) { named << line; });
        EXPECT_EQ(control.LineState(), -1);
        EXPECT_EQ(control.MakeCall("", "", "123", false), "Bad") << "no device open";

        control.OpenDevice(2, true, true);
        EXPECT_EQ(b->operations(), QStringList{"open 0 auto"});
        EXPECT_EQ(control.openLine(), b);

        control.OpenDevice(0, true, false); // another device: the first one is closed
        EXPECT_EQ(b->operations().last(), "close");
        EXPECT_EQ(control.openLine(), a);
        EXPECT_EQ(named, (QList<VoiceModem*>{b, nullptr, a})) << "the old line is let go before the new one opens";
        EXPECT_EQ(control.MakeCall("", "", "555", false), "555");
        EXPECT_EQ(a->operations().last(), "dial 555");

        control.OpenDevice(7, true, false);
        EXPECT_EQ(control.openLine(), nullptr) << "no such device";
        control.OpenDevice(0, true, false);
    }
    EXPECT_EQ(a->operations().last(), "close") << "the control closes its device when it goes";
    EXPECT_EQ(named.last(), nullptr);
}

// The window keeps callers from elsewhere out through the control: every line hears it, also
// one added afterwards.
TEST_F(TwoBackends, LocalCallersOnlyReachesEveryLineAlsoOnesAddedLater)
{
    ModemControl control(table);
    control.setLocalCallersOnly(true);
    auto* later = static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>()));
    for (ScriptedLine* line : {a, b, later})
        EXPECT_EQ(line->operations(), QStringList{"local callers only"});
    control.setLocalCallersOnly(false);
    for (ScriptedLine* line : {a, b, later})
        EXPECT_EQ(line->operations().last(), "any callers");
}

TEST_F(TwoBackends, HangUpAlwaysEndsInOneDisconnected)
{
    ModemControl control(table);
    QSignalSpy byControl(&control, &VoiceModem::Disconnected);
    QSignalSpy byLine(a, &VoiceModem::Disconnected);
    control.HangUp(); // nothing open: the control says so itself
    control.OpenDevice(0, true, false);
    control.HangUp(); // open, idle
    a->ring(1);
    a->connect();
    control.HangUp(); // in a call
    EXPECT_EQ(byControl.size() + byLine.size(), 0) << "reported on the next turn, as a real line does";
    ASSERT_TRUE(testing_support::waitUntil([&] { return byControl.size() + byLine.size() >= 3; }));
    EXPECT_EQ(byControl.size(), 1);
    EXPECT_EQ(byLine.size(), 2);
    EXPECT_EQ(a->LineState(), 0);
}

TEST(ScriptedLine, PlaysAScriptInOrderRecordsWhatIsSpokenAndRefusesOneItCannotRead)
{
    ScriptedLine line;
    line.OpenDevice(0, true, false);
    QStringList seen;
    QObject::connect(&line, &VoiceModem::IncomingCall, [&](int n) { seen << QString("ring %1").arg(n); });
    QObject::connect(&line, &VoiceModem::CallerID,
                     [&](QString num, QString name, int f) { seen << QString("id %1 %2 %3").arg(num, name).arg(f); });
    QObject::connect(&line, &VoiceModem::PhoneConnected, [&](int dev, int) {
        seen << "connected";
        AudioOutput* out = AudioOutputs::instance().output(dev);
        ASSERT_NE(out, nullptr);
        out->start(8000, 1);
        out->write(QByteArray(1600, '\x11'));
        EXPECT_EQ(out->playedMicros(), 100000) << "the line hears at once";
    });
    QObject::connect(&line, &VoiceModem::DigitReceived, [&](QString d) { seen << "digit " + d; });
    QObject::connect(&line, &VoiceModem::Disconnected, [&] { seen << "dropped"; });
    QObject::connect(&line, &VoiceModem::Error,
                     [&](int n, QString t) { seen << QString("error %1 %2").arg(n).arg(t); });

    // a script it cannot read is refused and runs nothing: only the good script's events are seen
    QString problem;
    for (const char* bad : {"ring\n", "ring x\n", "wait -5\n", "dance\n", "ring 1\ncallerid 1\n", "digit\n",
                            // waits that add up past any timer: refused, not wrapped round
                            "wait 2000000000\nwait 2000000000\nring 1\n"}) {
        EXPECT_FALSE(line.play(bad, &problem)) << bad;
        EXPECT_TRUE(problem.startsWith("line ")) << bad;
    }
    ASSERT_TRUE(line.play("# a caller\nring 1\ncallerid 5551234 12 Ann Lee\nring 2\n\nwait 5\nconnect\n"
                          "digit 1\ndigit #\nerror 70000 line noise\nhangup\ndigit 2\n",
                          &problem));
    ASSERT_TRUE(testing_support::waitUntil([&] { return seen.contains("dropped"); }, 2000))
        << seen.join(" | ").toStdString();
    EXPECT_EQ(seen, (QStringList{"ring 1", "id 5551234 Ann Lee 12", "ring 2", "connected", "digit 1", "digit #",
                                 "error 70000 line noise", "dropped"}));
    EXPECT_EQ(line.spoken(), QByteArray(1600, '\x11'));
    EXPECT_EQ(line.audioDevice(), -1) << "the call's audio goes with the call";
}
