// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/ClsAudioControl.h"

#include "TestSupport.h"
#include "telephony/FixedCallHost.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/FrmModem.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>

using namespace telephony;
using platform::SpeechVoice;
using S = telephony::ClsAudioControl;
using testing_support::waitUntil;

namespace {

constexpr int kHangup = 7; // the hang-up time here: unlike every fixed wait

// A controller wired as the main window wires it: the modem form over a scripted line, a fast
// timer (a tick is a second) and a voice that speaks into a WAV file, or down the line while a
// line call is up.
class CallTest : public ::testing::Test
{
protected:
    static std::string joined(const QStringList& list) { return list.join(", ").toStdString(); }
    static QString down(int32_t kind) { return QString("down %1").arg(kind); } // a call of that kind ended
    void SetUp() override
    {
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        host.hangup = kHangup;
        wav = platform::AudioOutputs::instance().add(platform::MakeWavFileOutput(tmp.file("voice.wav")));
        speakTo(wav);
        QObject::connect(&voice, &SpeechVoice::EndStream, [this] { ++ends; });
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.setInterval(3);
        ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        fresh();
    }
    void TearDown() override
    {
        ctl.reset();
        if (wav >= 0)
            platform::AudioOutputs::instance().remove(wav);
    }
    void speakTo(int device)
    {
        voice.setAudioOutputStream(platform::AudioOutputStream{device, SpeechVoice::kTelephoneFormat});
    }
    void clear()
    {
        events.clear();
        texts.clear();
        ends = ticks = 0;
    }
    void fresh()
    {
        ctl.reset(); // hangs up the line: that report goes to nobody
        QCoreApplication::processEvents();
        ctl = std::make_unique<ClsAudioControl>();
        clear();
        ClsAudioControl& c = *ctl;
        c.ModemPhone(&form);
        c.timercontrol(&timer);
        c.setHost(&host);
        c.setVoiceEng(&voice);
        c.AutoAnswer = true; // on the second ring
        // the window starts the voice menu for the kind of call the controller says it is in
        QObject::connect(&c, &S::IncomingPhone, [this] { events << QString("incoming %1").arg(ctl->getPhoneMode()); });
        QObject::connect(&c, &S::SpeakStart, [this] { events << "start"; });
        QObject::connect(&c, &S::SpeakEnd, [this] { events << "end"; });
        QObject::connect(&c, &S::SpeakRemain, [this] { events << "remain"; });
        QObject::connect(&c, &S::VoiceConnected, [this](int32_t kind, int32_t device) {
            events << QString("up %1").arg(kind);
            if (kind == S::ModemLine) // speech goes down the line, as the window routes it
                speakTo(device);
        });
        QObject::connect(&c, &S::VoiceDisCon, [this](int32_t kind) {
            events << down(kind);
            speakTo(wav);
        });
    }
    bool waitIdle()
    {
        return waitUntil([&] { return ctl->getStatus() == S::Idle && !timer.isActive() && ctl->isDonePlay(); });
    }
    // Rings twice (answered on the second), the call comes up and the PIN prompt is spoken.
    void answer()
    {
        line->ring(1);
        line->ring(2);
        line->connect();
        ASSERT_TRUE(waitUntil(
            [&] { return ctl->getStatus() == S::WaitingForPin && events.contains("end") && timer.isActive(); }));
    }

    testing_support::TempFolder tmp;
    platform::LineDeviceTable table;
    platform::ScriptedLine* line =
        static_cast<platform::ScriptedLine*>(table.addBackend(std::make_unique<platform::ScriptedLine>()));
    FrmModem form{[this] { return std::make_unique<platform::ModemControl>(table); }};
    QTimer timer;
    SpeechVoice voice;
    FixedCallHost host;
    QStringList& texts = host.shown;
    std::unique_ptr<ClsAudioControl> ctl;
    int wav = -1;
    int ends = 0, ticks = 0;
    QStringList events;
};

} // namespace

// What the end of speech does in each status, and how the wait it arms ends.
TEST_F(CallTest, EndOfSpeechActsOnTheStatusAndTheTimeoutEndsTheWait)
{
    constexpr int kNoWait = 0, kAnswerWait = 30;
    const struct
    {
        int32_t status;
        int16_t repeat = 0; // said with RepeatedlySay this many times; otherwise once with SpecialSpeak
        bool more = false; // SpecialSpeak: further pieces follow
        int ends = 1;
        QStringList events = {down(S::SimulatedPhone)};
        int armed = kHangup; // seconds of the wait armed when the speech ends
        int32_t after = S::Idle;
    } rows[] = {
        // idle: a piece with more to follow asks for the rest, nothing else happens
        {.status = S::Idle, .more = true, .events = {"remain"}, .armed = kNoWait},
        // the alert and menu texts are repeated, then the hang-up time runs
        {.status = S::MenuRepeating, .repeat = 3, .ends = 3},
        {.status = S::AlertSaying}, // a key echoed during an alert: said once, the alert not taken up again
        // the caller is asked for input: 30 seconds; repeated only in the two statuses above
        {.status = S::WaitingForPin, .repeat = 3, .armed = kAnswerWait},
        // the last piece of a text read piece by piece runs the hang-up time
        {.status = S::ReadingPieces},
        // a call being ended
        {.status = S::Disconnecting, .events = {}, .armed = kNoWait, .after = S::Disconnecting},
        // the mailbox list read on the sound card ends without a line to hang up
        {.status = S::ReadingOne, .events = {down(S::ListReading)}, .armed = kNoWait, .after = S::ReadingOne},
        // every other status runs the hang-up time
        {.status = S::FarEndHungUp, .events = {down(S::ModemLine)}}, // the far end's pending end
        {.status = S::Ringing, .events = {}}, // ringing stopped: quietly idle
    };
    for (const auto& r : rows) {
        const std::string row = "status " + std::to_string(r.status);
        fresh();
        ctl->simPhoneConnected(0);
        ctl->ChangeStatus(r.status);
        ctl->StopTimeout();
        clear();
        if (r.repeat)
            ctl->RepeatedlySay(r.repeat, "Hello there, this is a longer text.");
        else
            ctl->SpecialSpeak("Hi.", r.more);
        ASSERT_TRUE(waitUntil([&] { return ends >= r.ends && ctl->isDonePlay(); })) << row << ": " << ends << " ends";
        if (r.armed) {
            ASSERT_TRUE(waitUntil([&] { return !timer.isActive(); })) << row;
            EXPECT_EQ(ticks, r.armed) << row;
            const bool quiet = r.status == S::FarEndHungUp || r.status == S::Ringing;
            EXPECT_EQ(texts.contains("Timeout disconnect"), !quiet) << row;
        }
        EXPECT_FALSE(timer.isActive()) << row;
        EXPECT_EQ(ends, r.ends) << row << ": nothing more was spoken";
        events.removeAll("start");
        events.removeAll("end");
        EXPECT_EQ(joined(events), joined(r.events)) << row;
        EXPECT_EQ(ctl->getStatus(), r.after) << row;
    }
}

// How a ringing line ends: answered on the set ring, idle after the ring gap, a missed call
// when the caller gives up, or turned away two rings after the set ring when nobody takes it.
TEST_F(CallTest, RingsAreAnsweredOnTheSetRingOnlyWhenAllowed)
{
    enum Caption { NoCaption, SameVoice, IdleVoice }; // still being spoken when the line rings
    enum End { Answered, RingGap, GivesUp, TurnedAway };
    const struct
    {
        const char* name;
        bool autoAnswer = true, signedIn = true, accept = true; // the host accepts the call
        bool earlierCall = false; // a call the far end ended came before
        Caption caption = NoCaption;
        int rings = 2, asked = 1; // rings given, and how often the host was asked to accept
        End end = Answered;
    } rows[] = {
        // taken on the second ring, whatever was being said
        {.name = "answered while a caption is spoken", .caption = SameVoice},
        {.name = "answered while the idle voice speaks a caption", .caption = IdleVoice},
        // not taken: idle once no ring has come for the ring gap
        {.name = "auto-answer off", .autoAnswer = false, .rings = 3, .asked = 0, .end = RingGap},
        {.name = "not signed in", .signedIn = false, .rings = 3, .asked = 0, .end = RingGap},
        // the caller goes first
        {.name = "hangs up ringing, after a call", .accept = false, .earlierCall = true, .end = GivesUp},
        // nobody takes it: turned away two rings past the set ring
        {.name = "refused: asked on every ring", .accept = false, .rings = 4, .asked = 3, .end = TurnedAway},
        {.name = "no auto-answer, after a call",
         .autoAnswer = false,
         .earlierCall = true,
         .rings = 4,
         .asked = 0,
         .end = TurnedAway},
    };
    SpeechVoice callVoice;
    callVoice.setAudioOutputStream(platform::AudioOutputStream{wav, SpeechVoice::kTelephoneFormat});
    for (const auto& r : rows) {
        host.onCall = r.caption == IdleVoice ? &callVoice : nullptr;
        host.offCall = r.caption == IdleVoice ? &voice : nullptr;
        fresh();
        host.isSignedIn = host.answer = true;
        if (r.earlierCall) {
            answer();
            line->farHangUp();
            ASSERT_TRUE(waitIdle()) << r.name;
            clear();
        }
        ctl->AutoAnswer = r.autoAnswer;
        host.isSignedIn = r.signedIn;
        host.answer = r.accept;
        host.asked = 0;
        if (r.caption != NoCaption)
            ctl->RepeatedlySay(1, "Modem configuration, set country code.");
        const qsizetype before = line->operations().size();
        for (int n = 1; n <= r.rings; ++n)
            line->ring(n);
        if (r.end == GivesUp)
            line->farHangUp();
        EXPECT_EQ(host.asked, r.asked) << r.name;
        EXPECT_EQ(events.count("incoming 1"), int(r.end == Answered)) << r.name;
        EXPECT_EQ(texts.value(r.rings - 1), QString("The Phone Has Ring %1 times.").arg(r.rings)) << r.name;
        // the caller never gets through: an answered call is hung up after 30 s, a ringing
        // line is idle 6 s after the last ring, at once when the caller goes or is turned away
        ASSERT_TRUE(waitIdle()) << r.name;
        EXPECT_EQ(ticks, r.end == Answered ? 30 : r.end == RingGap ? 6 : 0) << r.name;
        EXPECT_EQ(texts.contains("Timeout disconnect"), r.end == Answered) << r.name;
        EXPECT_EQ(texts.contains("Missed Call"), r.end == GivesUp || r.end == TurnedAway) << r.name;
        EXPECT_FALSE(texts.contains("Phone Busy Disconnect")) << r.name;
        EXPECT_EQ(events.contains("down 1"), r.end == Answered)
            << r.name << ": the line is closed and opened again only after a call";
        const QStringList asked = line->operations().mid(before);
        EXPECT_EQ(asked.contains("answer"), r.end == Answered) << r.name;
        EXPECT_EQ(asked.contains("hangup"), r.end == Answered || r.end == TurnedAway) << r.name;
        QCoreApplication::processEvents();
        EXPECT_TRUE(r.end == RingGap || line->LineState() == 0) << r.name << ": the line is free";
    }
    host.onCall = host.offCall = nullptr;
}

// The far end going ends the call after a grace (also after our own hang-up of an earlier call),
// or at once when the caller rings back (a window that closes the line at the end of that call
// must not stop it going idle).
TEST_F(CallTest, FarEndHangUpEndsTheCallAfterAGraceOrAtOnce)
{
    for (const bool ringsBack : {false, true}) {
        fresh();
        answer();
        ctl->Vhangup();
        ASSERT_TRUE(waitIdle()) << ringsBack;
        clear();
        answer();
        clear();
        line->farHangUp();
        EXPECT_EQ(ctl->getStatus(), S::FarEndHungUp) << ringsBack;
        QObject scope; // as a window that closes the line at the end of a call
        if (ringsBack) {
            QObject::connect(ctl.get(), &S::VoiceDisCon, &scope, [&] { form.KillMeSelf(); });
            line->ring(1);
            line->ring(2);
            EXPECT_EQ(ctl->getStatus(), S::Idle);
        }
        ASSERT_TRUE(waitUntil([&] { return texts.contains("Phone Busy Disconnect"); })) << ringsBack;
        ASSERT_TRUE(waitIdle()) << ringsBack;
        EXPECT_EQ(ticks, ringsBack ? 0 : S::kFarEndGraceSeconds) << ringsBack;
        EXPECT_EQ(joined(events.filter(QRegularExpression("^(down|incoming)"))), "down 1") << ringsBack;
        ASSERT_TRUE(form.openLine() || form.InitModem(0, true) == "Voice Modem"); // the window opens it again
    }
}

// A caption still being spoken when the alert call is dialled must not end its wait for the far end.
TEST_F(CallTest, AnUnansweredAlertCallWaitsItsWholeConnectionTime)
{
    ctl->RepeatedlySay(1, "You have new mail.");
    ASSERT_TRUE(ctl->Make_callnow("5551234", 3, "You have new mail."));
    EXPECT_EQ(texts.last(), "Waiting for Connection 90");
    EXPECT_EQ(line->operations().last(), "dial 5551234");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(ticks, S::kConnectionSeconds);
    EXPECT_EQ(events.last(), "down 1");
}

// Line reports in any order, while idle or in a call, never crash the controller or leave it
// out of idle for good.
TEST_F(CallTest, LineReportsInAnyOrderAlwaysComeBackToIdle)
{
    for (unsigned seed = 1; seed <= 8; ++seed) {
        fresh();
        std::mt19937 rng(seed);
        host.answer = rng() % 2;
        for (int step = 0; step < 25; ++step) {
            switch (rng() % 7) {
            case 0: emit line->IncomingCall(int32_t(rng() % 5) - 1); break;
            case 1: emit line->PhoneConnected(wav, int32_t(rng())); break;
            case 2: emit line->Disconnected(); break;
            case 3: emit line->DigitReceived(QString(int(rng() % 4), QChar(char16_t(rng() % 0x3000)))); break;
            case 4: emit line->Error(int32_t(rng()), "noise"); break;
            case 5: emit line->CallerID("555", "Ann", int32_t(rng())); break;
            default: QCoreApplication::processEvents(); break;
            }
        }
        EXPECT_TRUE(waitIdle()) << "seed " << seed << " left status " << ctl->getStatus();
    }
}

// A voice that is missing, taken away or destroyed mid-call must not leave the call hanging.
TEST_F(CallTest, ACallEndsEvenWhenItsVoiceIsMissingOrGoesAway)
{
    enum Loss { NoVoice, VoiceTakenAway, VoiceDestroyed };
    for (Loss loss : {NoVoice, VoiceTakenAway, VoiceDestroyed}) {
        fresh();
        auto* own = new SpeechVoice; // deleted below, or by the row that destroys it
        QPointer<SpeechVoice> guard(own);
        own->setAudioOutputStream(platform::AudioOutputStream{wav, SpeechVoice::kTelephoneFormat});
        ctl->setVoiceEng(loss == NoVoice ? nullptr : own);
        QObject::connect(ctl.get(), &ClsAudioControl::SpeakStart, [&] {
            if (loss == VoiceTakenAway)
                ctl->setVoiceEng(nullptr);
            else if (guard)
                guard->deleteLater();
        });
        ASSERT_TRUE(ctl->Make_callnow("555", 3, "Hello there, this is your mail."));
        line->connect();
        ASSERT_TRUE(waitUntil([&] { return ctl->getStatus() == ClsAudioControl::Idle; })) << loss;
        EXPECT_TRUE(ctl->isDonePlay()) << loss;
        EXPECT_TRUE(texts.contains("Timeout disconnect")) << loss << ": the hang-up time ran out";
        EXPECT_EQ(events.last(), "down 1") << loss;
        delete guard.data();
    }
}

// A text read piece by piece stops with the call: the end of its last piece, whether spoken or
// failed at once for want of a voice, must not ask for the rest once the call is over.
TEST_F(CallTest, ACallsUnreadTextIsNotReadOnAfterTheCallEnds)
{
    const struct
    {
        const char* name;
        bool hasVoice;
        int32_t mode;
    } rows[] = {
        {"simulated telephone, spoken piece", true, S::SimulatedPhone},
        {"simulated telephone, no voice", false, S::SimulatedPhone},
        {"line call, spoken piece", true, S::ModemLine},
        {"line call, no voice", false, S::ModemLine},
    };
    for (const auto& r : rows) {
        fresh();
        if (r.mode == S::ModemLine)
            answer();
        else
            ctl->simPhoneConnected(0);
        if (!r.hasVoice)
            ctl->setVoiceEng(nullptr);
        ctl->ChangeStatus(S::ReadingPieces);
        clear();
        ctl->SpecialSpeak("The first piece of a long message, with more to come.", true);
        ctl->Vhangup(); // as the timeout ends a call
        if (r.mode == S::ModemLine)
            emit line->Disconnected(); // the line goes before the failed speech's queued end
        ASSERT_TRUE(waitIdle()) << r.name;
        ASSERT_TRUE(waitUntil([&] { return !r.hasVoice || ends > 0; })) << r.name;
        QCoreApplication::processEvents(); // the failed speech's queued end
        EXPECT_FALSE(events.contains("remain")) << r.name << ": " << joined(events);
        EXPECT_TRUE(events.contains(down(r.mode))) << r.name << ": " << joined(events);
    }
}
