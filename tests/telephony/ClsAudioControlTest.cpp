// SPDX-License-Identifier: GPL-3.0-or-later
#include "telephony/ClsAudioControl.h"

#include "TestSupport.h"
#include "telephony/FixedCallHost.h"
#include "platform/ProgramFolder.h"
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

std::string joined(const QStringList& list)
{
    return list.join(", ").toStdString();
}
QString down(int32_t kind)
{
    return QString("down %1").arg(kind);
}

// A controller wired as the main window wires it: the modem form over a scripted line, a fast
// timer (a tick is a second) and a voice that speaks into a WAV file, or down the line while a
// line call is up.
class CallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        platform::SetProgramFolderOverride(tmp.path());
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
        platform::SetProgramFolderOverride(QString());
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
        c.AutoAnswer = true;
        c.RingsToAnswer = 2;
        // the window starts the voice menu for the kind of call the controller says it is in
        QObject::connect(&c, &S::IncomingPhone, [this] { events << QString("incoming %1").arg(ctl->getPhoneMode()); });
        QObject::connect(&c, &S::SpeakStart, [this] { events << "start"; });
        QObject::connect(&c, &S::SpeakEnd, [this] { events << "end"; });
        QObject::connect(&c, &S::SpeakRemain, [this] { events << "remain"; });
        QObject::connect(&c, &S::DigitReceived, [this](const QString& d) { events << "digit " + d; });
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
        bool purgeAtStart = false;
        int ends = 1;
        QStringList events = {down(S::SimulatedPhone)};
        int armed = kHangup; // seconds of the wait armed when the speech ends
        int32_t after = S::Idle;
    } rows[] = {
        // idle: a piece with more to follow asks for the rest, nothing else happens
        {.status = S::Idle, .more = true, .events = {"remain"}, .armed = kNoWait},
        {.status = S::Idle, .events = {}, .armed = kNoWait},
        // the alert and menu texts are repeated, then the hang-up time runs
        {.status = S::AlertSaying, .repeat = 3, .ends = 3},
        {.status = S::MenuRepeating, .repeat = 5, .purgeAtStart = true}, // a purge ends the repetition
        {.status = S::AlertSaying}, // a key echoed during an alert: said once, the alert not taken up again
        // the caller is asked for input: 30 seconds; repeated only in the two statuses above
        {.status = S::WaitingForPin, .repeat = 3, .armed = kAnswerWait},
        {.status = S::WaitingForInput, .armed = kAnswerWait},
        // a text read piece by piece asks for each next piece, then runs the hang-up time
        {.status = S::ReadingPieces, .more = true, .events = {"remain"}, .armed = kNoWait, .after = S::ReadingPieces},
        {.status = S::ReadingPieces},
        // a call being ended
        {.status = S::Disconnecting, .events = {}, .armed = kNoWait, .after = S::Disconnecting},
        {.status = S::GoodBye, .armed = kNoWait},
        // the mailbox list read on the sound card ends without a line to hang up
        {.status = S::ReadingList, .more = true, .events = {"remain"}, .armed = kNoWait, .after = S::ReadingList},
        {.status = S::ReadingOne, .events = {down(S::ListReading)}, .armed = kNoWait, .after = S::ReadingOne},
        // every other status runs the hang-up time, also one the controller does not know
        {.status = S::FarEndHungUp, .events = {down(S::ModemLine)}}, // the far end's pending end
        {.status = S::Ringing, .events = {}}, // ringing stopped: quietly idle
        {.status = 17},
    };
    for (const auto& r : rows) {
        const std::string row = "status " + std::to_string(r.status) + (r.purgeAtStart ? " purged" : "");
        fresh();
        ctl->simPhoneConnected(0);
        ctl->ChangeStatus(r.status);
        ctl->StopTimeout();
        clear();
        QMetaObject::Connection purge;
        if (r.purgeAtStart)
            purge = QObject::connect(ctl.get(), &S::SpeakStart, [&] {
                QObject::disconnect(purge);
                ctl->ResetPlay();
            });
        if (r.repeat)
            ctl->RepeatedlySay(r.repeat, "Hello there, this is a longer text.");
        else
            ctl->SpecialSpeak("Hi.", r.more);
        ASSERT_TRUE(waitUntil([&] { return ends >= r.ends && ctl->isDonePlay(); })) << row << ": " << ends << " ends";
        if (r.armed) {
            ASSERT_TRUE(waitUntil([&] { return !timer.isActive(); })) << row;
            if (!r.purgeAtStart) {
                EXPECT_EQ(ticks, r.armed) << row;
            }
            const bool quiet = r.status == S::FarEndHungUp || r.status == S::Ringing;
            const QStringList waits = texts.filter(QRegularExpression("^Waiting ")); // the last before the timeout
            EXPECT_EQ(waits.value(waits.size() - 1),
                      quiet ? "" : QString("Waiting %1/%2").arg(r.armed - 1).arg(r.armed))
                << row;
            EXPECT_EQ(texts.contains("Timeout disconnect"), !quiet) << row;
        }
        EXPECT_FALSE(timer.isActive()) << row;
        // nothing more was spoken (a voice may give the purge a stream of its own)
        EXPECT_TRUE(ends == r.ends || (r.purgeAtStart && ends == r.ends + 1)) << row << ": " << ends << " ends";
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
        {.name = "one ring, then the caller gives up", .rings = 1, .asked = 0, .end = RingGap},
        {.name = "auto-answer off", .autoAnswer = false, .rings = 3, .asked = 0, .end = RingGap},
        {.name = "not signed in", .signedIn = false, .rings = 3, .asked = 0, .end = RingGap},
        // the caller goes first
        {.name = "the caller hangs up while it rings, after an earlier call",
         .accept = false,
         .earlierCall = true,
         .end = GivesUp},
        // nobody takes it: turned away two rings past the set ring
        {.name = "refused: asked on every ring", .accept = false, .rings = 4, .asked = 3, .end = TurnedAway},
        {.name = "auto-answer off, after an earlier call",
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
        if (r.end != RingGap) {
            EXPECT_EQ(line->LineState(), 0) << r.name << ": the line is free";
        }
    }
    host.onCall = host.offCall = nullptr;
}

// Digits of any kind go to the voice menu unchanged; a second call ringing meanwhile is not
// answered and starts the wait for the caller afresh.
TEST_F(CallTest, AnsweredCallPassesAnyDigitOnAndIgnoresASecondRing)
{
    answer();
    QStringList passed;
    for (const QString& d : {QString("5"), QString("#"), QString(), QString(5000, 'x'), QString(QChar(0)),
                             QString::fromUtf16(u"\U0001F600")}) {
        line->digit(d);
        passed << "digit " + d;
    }
    ticks = 0;
    line->ring(1);
    EXPECT_EQ(ctl->getStatus(), S::WaitingForPin);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(ticks, 30) << "the ring started the wait afresh";
    EXPECT_EQ(events.count("incoming 1"), 1);
    EXPECT_EQ(events.filter(QRegularExpression("^digit")), passed) << "passed on unchanged";
}

// The far end going ends the call after a grace, or at once when the caller rings back (a
// window that closes the line at the end of that call must not stop it going idle).
TEST_F(CallTest, FarEndHangUpEndsTheCallAfterAGraceOrAtOnce)
{
    enum Case { AfterTheAlert, WhileSpeaking, AfterOurOwnHangup, RingsBackAndLineCloses };
    for (const Case c : {AfterTheAlert, WhileSpeaking, AfterOurOwnHangup, RingsBackAndLineCloses}) {
        fresh();
        if (c == AfterOurOwnHangup) {
            answer();
            ctl->Vhangup();
            ASSERT_TRUE(waitIdle()) << c;
            clear();
            answer();
        } else {
            if (c == WhileSpeaking)
                QObject::connect(ctl.get(), &S::SpeakStart, [&] { line->farHangUp(); });
            ASSERT_TRUE(ctl->Make_callnow("555", 2, "Hello there, this is your mail."));
            line->connect();
            if (c != WhileSpeaking) {
                ASSERT_TRUE(waitUntil([&] { return ends == 2 && timer.isActive(); })) << c;
            }
        }
        clear();
        if (c != WhileSpeaking) {
            line->farHangUp();
            EXPECT_EQ(ctl->getStatus(), S::FarEndHungUp) << c;
        }
        QObject scope; // as a window that closes the line at the end of a call
        if (c == RingsBackAndLineCloses) {
            QObject::connect(ctl.get(), &S::VoiceDisCon, &scope, [&] { form.KillMeSelf(); });
            line->ring(1);
            line->ring(2);
            EXPECT_EQ(ctl->getStatus(), S::Idle);
        }
        ASSERT_TRUE(waitUntil([&] { return texts.contains("Phone Busy Disconnect"); })) << c;
        ASSERT_TRUE(waitIdle()) << c;
        // while speaking, the end of the cut-short speech arms the hang-up time instead
        if (c != RingsBackAndLineCloses) {
            EXPECT_TRUE(c == WhileSpeaking ? ticks >= kHangup : ticks == S::kFarEndGraceSeconds) << c << ": " << ticks;
        }
        EXPECT_EQ(joined(events.filter(QRegularExpression("^(down|incoming)"))), "down 1") << c;
        if (!form.openLine()) {
            ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        }
    }
}

// A dial that fails is never a call in progress; one that starts waits its whole connection
// time, also when a caption was still being spoken as it was dialled.
TEST_F(CallTest, AFailedDialIsNeverACallInProgress)
{
    constexpr int32_t kUntouched = 5, kDialFailed = 13;
    const struct
    {
        const char* name;
        QString number = "555", refusal = ""; // the line refuses the dial with this reason
        bool lineOpen = true, placed = false;
        int32_t errorNumber = kDialFailed;
    } rows[] = {
        {.name = "empty number", .number = "", .errorNumber = kUntouched},
        {.name = "line busy", .refusal = "Busy"},
        {.name = "no line open", .lineOpen = false},
        {.name = "dialled while a caption is spoken", .placed = true, .errorNumber = 0},
    };
    for (const auto& r : rows) {
        fresh();
        if (!r.lineOpen)
            form.KillMeSelf();
        else
            ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        line->refuseNextCall(r.refusal);
        ctl->ErrorNumber = kUntouched;
        if (r.placed)
            ctl->RepeatedlySay(1, "You have new mail.");
        EXPECT_EQ(ctl->Make_callnow(r.number, 3, "New mail"), r.placed) << r.name;
        EXPECT_EQ(ctl->ErrorNumber, r.errorNumber) << r.name;
        EXPECT_EQ(ctl->getStatus(), r.placed ? S::Connecting : S::Idle) << r.name;
        EXPECT_EQ(joined(events), r.placed ? "incoming 1" : "") << r.name;
        EXPECT_TRUE(!r.number.isEmpty() || texts.isEmpty()) << "silently";
        EXPECT_EQ(texts.value(texts.size() - 1) == "Waiting for Connection 90", r.placed) << r.name;
        line->refuseNextCall("");
        ASSERT_TRUE(waitIdle()) << r.name;
        EXPECT_EQ(ticks, r.placed ? S::kConnectionSeconds : 0) << r.name;
        EXPECT_EQ(events.value(events.size() - 1), r.placed ? "down 1" : "") << r.name;
    }
}

// Speech that cannot start, or whose voice goes away, must not hold the call open.
TEST_F(CallTest, ACallEndsEvenWhenItsVoiceIsMissingOrGoesAway)
{
    enum Loss { NoVoice, VoiceTakenAway, VoiceDestroyed };
    for (Loss loss : {NoVoice, VoiceTakenAway, VoiceDestroyed}) {
        fresh();
        QPointer<SpeechVoice> own = new SpeechVoice; // deleted below, or by the row that destroys it
        own->setAudioOutputStream(platform::AudioOutputStream{wav, SpeechVoice::kTelephoneFormat});
        ctl->setVoiceEng(loss == NoVoice ? nullptr : own.data());
        QObject::connect(ctl.get(), &S::SpeakStart, [&] {
            if (loss == VoiceTakenAway)
                ctl->setVoiceEng(nullptr);
            else if (own)
                own->deleteLater();
        });
        ASSERT_TRUE(ctl->Make_callnow("555", 3, "Hello there, this is your mail."));
        line->connect();
        ASSERT_TRUE(waitUntil([&] { return ctl->getStatus() == S::Idle; })) << loss;
        EXPECT_TRUE(ctl->isDonePlay()) << loss;
        EXPECT_TRUE(texts.contains("Timeout disconnect")) << loss << ": the hang-up time ran out";
        EXPECT_EQ(events.last(), "down 1") << loss;
        delete own.data();
    }
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
