// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/ClsAudioControl.h"
#include "TestSupport.h"

#include "InProcessSipPhone.h"
#include "SipPeers.h"
#include "telephony/FixedCallHost.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "telephony/FrmModem.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

using namespace sip_peers;
using namespace telephony;
using platform::SpeechVoice;
using testing_support::waitUntil;

namespace {

constexpr int kRingMs = 100;
constexpr int kRingTickMs = 50; // the 6-tick ring gap outlasts the line's time between rings
constexpr int kHangupTicks = 2;
const QString kAlert = QStringLiteral("You have new mail");

std::string joined(const QStringList& list)
{
    return list.join(u", ").toStdString();
}

// The program's telephone chain over one SIP listener: the modem form over its own line table,
// the call controller on a lent fast timer, and a voice the window routes down the line while
// a call is up and back to the sound card after.
class CallOverSip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        host.hangup = kHangupTicks;
        platform::SipLineConfig direct;
        direct.kind = platform::SipLineConfig::Kind::Direct;
        direct.port = port = ListenerPort();
        line = static_cast<platform::SipLine*>(table.addBackend(std::make_unique<platform::SipLine>(QList{direct})));
        line->setRingInterval(kRingMs);
        ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        ASSERT_EQ(line->LineState(), 0);

        ctl.ModemPhone(&form);
        ctl.timercontrol(&timer);
        ctl.setHost(&host);
        ctl.setVoiceEng(&voice);
        ctl.AutoAnswer = true;
        ctl.RingsToAnswer = 2;
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        QObject::connect(&ctl, &ClsAudioControl::IncomingPhone, [this] { ++incoming; });
        QObject::connect(&ctl, &ClsAudioControl::VoiceConnected, [this](int32_t kind, int32_t device) {
            log << QStringLiteral("up %1").arg(kind);
            callDevice = device;
            voice.setAllowAudioOutputFormatChangesOnNextSet(false);
            voice.setAudioOutputStream(platform::AudioOutputStream{device, SpeechVoice::kTelephoneFormat});
        });
        QObject::connect(&ctl, &ClsAudioControl::VoiceDisCon, [this](int32_t kind) {
            log << QStringLiteral("down %1").arg(kind);
            voice.setAudioOutputStream(std::nullopt);
        });
        QObject::connect(&ctl, &ClsAudioControl::SpeakStart, [this] {
            log << QStringLiteral("start");
            startStatus << ctl.getStatus();
            startOutput << voice.audioOutput();
            if (!speaking.isValid())
                speaking.start();
        });
        QObject::connect(&ctl, &ClsAudioControl::SpeakEnd, [this] {
            log << QStringLiteral("end");
            spokenMs = speaking.elapsed();
            ticksAtEnd = ticks;
        });
        QObject::connect(&ctl, &ClsAudioControl::DigitReceived, [this](const QString& d) { log << "digit " + d; });
    }
    QString us() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    bool waitFor(const QString& event, int ms)
    {
        return waitUntil([&] { return log.contains(event); }, ms);
    }

    // what the chain reported; outlives the chain, which may still report as it goes
    FixedCallHost host;
    QStringList& texts = host.shown;
    QStringList log;
    QList<int32_t> startStatus;
    QList<int> startOutput;
    QElapsedTimer speaking;
    qint64 spokenMs = 0;
    int incoming = 0, ticks = 0, ticksAtEnd = 0, callDevice = -1;

    quint16 port = 0;
    platform::LineDeviceTable table;
    platform::SipLine* line = nullptr;
    FrmModem form{[this] { return std::make_unique<platform::ModemControl>(table); }};
    QTimer timer;
    SpeechVoice voice;
    ClsAudioControl ctl; // goes first: hangs up while the form and the line are still there
};

// A caller rings: answered on the second ring, hears the PIN prompt, keys "123#" (RFC 4733 and
// INFO mixed); on "#" the menu hangs up, and the call ends at both ends.
TEST_F(CallOverSip, AnswersOnTheSetRingTakesThePinAndHangsUpAtBothEnds)
{
    timer.setInterval(kRingTickMs);
    QList<std::pair<int32_t, int>> atRing; // the controller's status and answers after each ring
    QObject scope; // this test's own listeners go with it
    QObject::connect(line, &platform::VoiceModem::IncomingCall, &scope, [&](int32_t) {
        atRing << std::pair{ctl.getStatus(), incoming};
    });
    QObject::connect(&ctl, &ClsAudioControl::DigitReceived, &scope, [&](const QString& d) {
        if (d == u"#") // the menu's good-bye once the PIN is complete
            ctl.Vhangup();
    });
    InProcessSipPhone caller(QStringLiteral("\"Alice\" <sip:5551234@127.0.0.1>"));
    ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
    // the caller keys the PIN once the prompt is over, each key after the one before arrived
    ASSERT_TRUE(waitFor(QStringLiteral("end"), 20000)) << joined(log) << "\n" << joined(caller.log());
    for (const auto& [key, byInfo] : {std::pair(QString("1"), false), {QString("2"), true}, {QString("3"), true}}) {
        byInfo ? caller.pressByInfo(key) : caller.press(key);
        ASSERT_TRUE(waitFor("digit " + key, 5000)) << joined(log);
    }
    caller.press(QStringLiteral("#"));
    ASSERT_TRUE(waitFor(QStringLiteral("down 1"), 20000)) << joined(log) << "\n" << joined(caller.log());

    const QList<std::pair<int32_t, int>> rings{{ClsAudioControl::Ringing, 0}, {ClsAudioControl::Connecting, 1}};
    EXPECT_EQ(atRing, rings) << "answered on ring 2, not on ring 1, and the ringing stopped";
    EXPECT_TRUE(texts.contains(QStringLiteral("From : Alice , 5551234"))) << joined(texts);
    EXPECT_EQ(joined(log), "up 1, start, end, digit 1, digit 2, digit 3, digit #, down 1");
    EXPECT_EQ(startStatus, QList<int32_t>{ClsAudioControl::WaitingForPin});
    ASSERT_GT(callDevice, 0);
    EXPECT_EQ(startOutput, QList<int>{callDevice}) << "the prompt went down the line";
    // the caller heard the prompt: the spoken length, less the pauses the voice begins and ends with
    EXPECT_GT(spokenMs, 800);
    EXPECT_GT(caller.soundSeconds(), spokenMs / 1000.0 * 0.6);
    EXPECT_LT(caller.soundSeconds(), std::min(spokenMs / 1000.0 + 0.1, 4.0));

    EXPECT_TRUE(caller.waitFor(QStringLiteral("ended by them"))) << "the caller got our BYE after its last key\n"
                                                                 << joined(caller.log());
    EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Idle);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(log.count(QStringLiteral("down 1")), 1);
    EXPECT_EQ(voice.audioOutput(), 0) << "the voice is back on the sound card";
    EXPECT_EQ(line->LineState(), 0);
    EXPECT_EQ(line->audioDevice(), -1);
}

// A caller who hangs up and rings back at once is answered: the new ring ends the old call
// at once, though the line rings more often than the old call's end would wait for.
TEST_F(CallOverSip, ACallerRingingBackRightAfterHangingUpIsAnswered)
{
    timer.setInterval(kRingTickMs);
    host.hangup = 30; // rings, 2 ticks apart, would keep the old call's end away for good
    InProcessSipPhone caller(QStringLiteral("\"Alice\" <sip:5551234@127.0.0.1>"));
    ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
    ASSERT_TRUE(caller.waitFor(QStringLiteral("connected"), 20000)) << joined(caller.log());
    caller.hangUp();
    ASSERT_TRUE(waitUntil([&] { return ctl.getStatus() == ClsAudioControl::FarEndHungUp; }, 20000)) << joined(log);
    EXPECT_TRUE(caller.waitFor(QStringLiteral("ended by us"))) << joined(caller.log());
    ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
    ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("up 1")) == 2; }, 20000)) << joined(log);
    ctl.Vhangup();
    ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("down 1")) == 2; }, 5000)) << joined(log);
    const QStringList calls = log.filter(QRegularExpression(QStringLiteral("^(up|down)")));
    EXPECT_EQ(joined(calls), "up 1, down 1, up 1, down 1");
    EXPECT_EQ(incoming, 2);
    EXPECT_TRUE(caller.waitFor(QStringLiteral("ended by them"))) << "the caller got our BYE\n" << joined(caller.log());
    EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Idle);
}

// A caller nobody answers (the window refuses) is turned away busy two rings after the set
// ring: a missed call, and the line is free for the next one.
TEST_F(CallOverSip, ACallerNobodyAnswersIsTurnedAwayBusy)
{
    timer.setInterval(kRingTickMs);
    host.answer = false;
    int rings = 0;
    QObject scope;
    QObject::connect(line, &platform::VoiceModem::IncomingCall, &scope, [&](int32_t) { ++rings; });
    InProcessSipPhone caller;
    ASSERT_TRUE(caller.call(QStringLiteral("sip:korvalen@") + us()));
    EXPECT_TRUE(caller.waitFor(QStringLiteral("refused 486"))) << joined(caller.log());
    EXPECT_EQ(rings, ctl.RingsToAnswer + 2);
    EXPECT_EQ(host.asked, 3);
    ASSERT_TRUE(waitUntil([&] { return ctl.getStatus() == ClsAudioControl::Idle && line->LineState() == 0; }, 2000));
    EXPECT_TRUE(texts.contains(QStringLiteral("Missed Call"))) << joined(texts);
    EXPECT_TRUE(log.isEmpty()) << joined(log);
    EXPECT_FALSE(timer.isActive());
}

// A line that cannot be opened says why in the status text, where the window shows the line.
// (A refused registration's reason: SipLineAccount; a line error reaching the status: FrmModem.)
TEST_F(CallOverSip, ALineThatCannotOpenSaysWhyInTheStatus)
{
    QUdpSocket taken;
    ASSERT_TRUE(taken.bind(QHostAddress::Any, ListenerPort(), QAbstractSocket::DontShareAddress));
    platform::SipLineConfig busyPort;
    busyPort.kind = platform::SipLineConfig::Kind::Direct;
    busyPort.port = taken.localPort();
    form.KillMeSelf();
    line->setLines({busyPort});
    ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
    const QString why = QStringLiteral("Cannot listen on UDP port %1; another program is using it.").arg(busyPort.port);
    EXPECT_TRUE(waitUntil([&] { return texts.contains(why); }, 10000)) << joined(texts);
}

// The new-mail alert: dialled, answered, the announcement said three times, and the controller
// hangs up itself once the hang-up time has passed in silence.
TEST_F(CallOverSip, AlertCallSaysItsTextRepeatedlyThenHangsUpItself)
{
    timer.setInterval(20);
    InProcessSipPhone callee;
    ASSERT_TRUE(callee.started());
    ASSERT_TRUE(ctl.Make_callnow(QStringLiteral("sip:alert@") + callee.address(), 3, kAlert));
    EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Connecting);
    EXPECT_EQ(incoming, 1) << "the window is told of the call";
    ASSERT_TRUE(waitFor(QStringLiteral("down 1"), 20000)) << joined(log);

    EXPECT_EQ(joined(log), "up 1, start, end, start, end, start, end, down 1");
    EXPECT_EQ(startStatus, QList<int32_t>(3, ClsAudioControl::AlertSaying));
    ASSERT_GT(callDevice, 0);
    EXPECT_EQ(startOutput, QList<int>(3, callDevice));
    EXPECT_EQ(ticks - ticksAtEnd, kHangupTicks) << "hung up after the hang-up time";
    EXPECT_TRUE(texts.contains(QStringLiteral("Timeout disconnect")));
    // three sayings: heard for most of the time from the first start to the last end
    EXPECT_GT(callee.soundSeconds(), spokenMs / 1000.0 * 0.6);
    EXPECT_LT(callee.soundSeconds(), spokenMs / 1000.0 + 0.1);

    EXPECT_TRUE(callee.waitFor(QStringLiteral("ended by them"))) << "the callee got our BYE\n" << joined(callee.log());
    EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Idle);
    EXPECT_EQ(ctl.ErrorNumber, 0);
    EXPECT_EQ(log.count(QStringLiteral("down 1")), 1);
    EXPECT_EQ(voice.audioOutput(), 0);
    EXPECT_EQ(line->LineState(), 0);
}

// An alert call that never connects ends all the same: a refusal at once with the SIP code, an
// unanswered one by the controller's own connection timeout, long before the stack's.
TEST_F(CallOverSip, AlertCallsThatNeverConnectEndWithoutHanging)
{
    timer.setInterval(10);
    struct Row
    {
        const char* name;
        bool callee; // false: a port nobody listens on
        int32_t error;
        bool byTimeout;
    };
    const Row rows[] = {
        {"busy", true, 486, false},
        {"unreachable", false, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log.clear();
        texts.clear();
        ticks = 0;
        std::optional<InProcessSipPhone> callee;
        QString number = QStringLiteral("sip:alert@127.0.0.1:%1").arg(FreeUdpPort());
        if (row.callee) {
            callee.emplace();
            ASSERT_TRUE(callee->started());
            callee->setIncoming(InProcessSipPhone::Incoming::Busy);
            number = QStringLiteral("sip:alert@") + callee->address();
        }
        ASSERT_TRUE(ctl.Make_callnow(number, 3, kAlert)) << "the SIP line starts dialling either";
        EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Connecting);
        ASSERT_TRUE(waitFor(QStringLiteral("down 1"), 15000)) << joined(log) << " after " << ticks << " ticks";

        EXPECT_EQ(joined(log), "down 1") << "nothing was connected or said";
        EXPECT_EQ(ctl.getStatus(), ClsAudioControl::Idle);
        EXPECT_FALSE(timer.isActive());
        EXPECT_EQ(ctl.ErrorNumber, row.error);
        EXPECT_EQ(texts.contains(QStringLiteral("Timeout disconnect")), row.byTimeout) << joined(texts);
        if (row.byTimeout) {
            EXPECT_EQ(ticks, ClsAudioControl::kConnectionSeconds);
        } else {
            EXPECT_LT(ticks, ClsAudioControl::kConnectionSeconds);
        }
        EXPECT_EQ(voice.audioOutput(), 0);
        EXPECT_EQ(line->LineState(), 0);
        if (callee) {
            EXPECT_TRUE(callee->log().contains(QStringLiteral("incoming"))) << joined(callee->log());
        }
    }
}

} // namespace
