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
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>

using namespace telephony;
using platform::ScriptedLine;
using platform::SpeechVoice;
using testing_support::waitUntil;

namespace {

constexpr int kHangup = 7; // the hang-up time here: unlike every fixed wait

std::string joined(const QStringList& list)
{
    return list.join(", ").toStdString();
}

// The event recorded when a call of that kind ends.
QString down(int32_t kind)
{
    return QString("down %1").arg(kind);
}

// The program's modem control, whose open line reports an error in the middle of dialling.
class DiallingControl : public platform::ModemControl
{
public:
    using ModemControl::ModemControl;
    int32_t errorWhileDialling = 0;
    QString MakeCall(const QString& a, const QString& b, const QString& number, bool flag) override
    {
        if (errorWhileDialling && openLine())
            emit openLine()->Error(errorWhileDialling, "No dial tone");
        return ModemControl::MakeCall(a, b, number, flag);
    }
};

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
        voice.setAudioOutputStream(platform::AudioOutputStream{wav, SpeechVoice::kTelephoneFormat});
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

    void fresh()
    {
        ctl.reset(); // hangs up the line: that report goes to nobody
        QCoreApplication::processEvents();
        ctl = std::make_unique<ClsAudioControl>();
        events.clear();
        texts.clear();
        ends = ticks = 0;
        ClsAudioControl& c = *ctl;
        c.ModemPhone(&form);
        c.timercontrol(&timer);
        c.setHost(&host);
        c.setVoiceEng(&voice);
        c.AutoAnswer = true;
        c.RingsToAnswer = 2;
        // the window starts the voice menu for the kind of call the controller says it is in
        QObject::connect(&c, &ClsAudioControl::IncomingPhone,
                         [this] { events << QString("incoming %1").arg(ctl->getPhoneMode()); });
        const auto note = [&](auto signal, const char* text) {
            QObject::connect(&c, signal, [=, this] { events << text; });
        };
        note(&ClsAudioControl::SpeakStart, "start");
        note(&ClsAudioControl::SpeakEnd, "end");
        note(&ClsAudioControl::SpeakRemain, "remain");
        QObject::connect(&c, &ClsAudioControl::DigitReceived, [this](const QString& d) { events << "digit " + d; });
        QObject::connect(&c, &ClsAudioControl::VoiceConnected, [this](int32_t kind, int32_t device) {
            events << QString("up %1").arg(kind);
            if (kind == ClsAudioControl::ModemLine) // speech goes down the line, as the window routes it
                voice.setAudioOutputStream(platform::AudioOutputStream{device, SpeechVoice::kTelephoneFormat});
        });
        QObject::connect(&c, &ClsAudioControl::VoiceDisCon, [this](int32_t kind) {
            events << down(kind);
            voice.setAudioOutputStream(platform::AudioOutputStream{wav, SpeechVoice::kTelephoneFormat});
        });
    }
    bool waitIdle()
    {
        return waitUntil(
            [&] { return ctl->getStatus() == ClsAudioControl::Idle && !timer.isActive() && ctl->isDonePlay(); });
    }
    // Rings twice (the controller answers on the second), the call comes up and the PIN prompt
    // is spoken.
    void answer()
    {
        line->ring(1);
        line->ring(2);
        line->connect();
        ASSERT_TRUE(waitUntil([&] {
            return ctl->getStatus() == ClsAudioControl::WaitingForPin && events.contains("end") && timer.isActive();
        }));
    }
    DiallingControl* control() { return static_cast<DiallingControl*>(form.Modem1()); }

    testing_support::TempFolder tmp;
    platform::LineDeviceTable table;
    ScriptedLine* line = static_cast<ScriptedLine*>(table.addBackend(std::make_unique<ScriptedLine>()));
    FrmModem form{[this] { return std::make_unique<DiallingControl>(table); }};
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
    using S = ClsAudioControl;
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
        {.status = S::MenuRepeating, .repeat = 2, .ends = 2},
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
        {.status = S::ReadingList, .events = {down(S::ListReading)}, .armed = kNoWait, .after = S::ReadingList},
        {.status = S::ReadingOne, .events = {down(S::ListReading)}, .armed = kNoWait, .after = S::ReadingOne},
        // every other status runs the hang-up time, also one the controller does not know
        {.status = S::Connecting},
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
        ends = ticks = 0;
        events.clear();
        QMetaObject::Connection purge;
        if (r.purgeAtStart)
            purge = QObject::connect(ctl.get(), &ClsAudioControl::SpeakStart, [&] {
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
        // taken on the second ring, whatever was going on
        {.name = "answered while a caption is spoken", .caption = SameVoice},
        {.name = "answered while the idle voice speaks a caption", .caption = IdleVoice},
        {.name = "answered after an earlier call", .earlierCall = true},
        // not taken: idle once no ring has come for the ring gap
        {.name = "one ring, then the caller gives up", .rings = 1, .asked = 0, .end = RingGap},
        {.name = "auto-answer off", .autoAnswer = false, .rings = 3, .asked = 0, .end = RingGap},
        {.name = "not signed in", .signedIn = false, .rings = 3, .asked = 0, .end = RingGap},
        // the caller goes first
        {.name = "the caller hangs up while it rings", .accept = false, .end = GivesUp},
        {.name = "the caller hangs up while it rings, after an earlier call",
         .accept = false,
         .earlierCall = true,
         .end = GivesUp},
        // nobody takes it: turned away two rings past the set ring
        {.name = "auto-answer off, two rings past the set ring, after an earlier call",
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
        if (r.earlierCall) { // a call the far end ended
            answer();
            line->farHangUp();
            ASSERT_TRUE(waitIdle()) << r.name;
            events.clear();
            texts.clear();
            ticks = 0;
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
        if (r.end == Answered || r.end == RingGap) {
            EXPECT_EQ(ctl->getStatus(), r.end == Answered ? ClsAudioControl::Connecting : ClsAudioControl::Ringing)
                << r.name;
        }
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
        if (r.end != RingGap) { // a scripted line rings on until told otherwise
            EXPECT_EQ(line->LineState(), 0) << r.name << ": the line is free";
        }
    }
    host.onCall = host.offCall = nullptr;
}

// Digits of any kind go to the voice menu unchanged; a second call ringing meanwhile is not
// answered and starts the wait for the caller afresh. (The prompt and the good-bye: CallOverSip.)
TEST_F(CallTest, AnsweredCallPassesAnyDigitOnAndIgnoresASecondRing)
{
    answer();
    const QStringList digits = {
        "5", "#", "", "12345678901234567890", QString(QChar(0)), QString::fromUtf16(u"\U0001F600"), QString(5000, 'x')};
    QStringList passed;
    for (const QString& d : digits) {
        line->digit(d);
        passed << "digit " + d;
    }
    ticks = 0;
    line->ring(1);
    EXPECT_EQ(ctl->getStatus(), ClsAudioControl::WaitingForPin);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(ticks, 30) << "the ring started the wait afresh";
    EXPECT_EQ(events.count("incoming 1"), 1);
    EXPECT_EQ(events.filter(QRegularExpression("^digit")), passed) << "passed on unchanged";
}

// The alert call itself is a whole call in CallOverSip. A caption still being spoken when it
// is dialled must not end its wait for the far end.
TEST_F(CallTest, AnUnansweredAlertCallWaitsItsWholeConnectionTime)
{
    ctl->RepeatedlySay(1, "You have new mail.");
    ASSERT_TRUE(ctl->Make_callnow("5551234", 3, "You have new mail."));
    EXPECT_EQ(texts.last(), "Waiting for Connection 90");
    EXPECT_EQ(line->operations().last(), "dial 5551234");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(ticks, 90);
    EXPECT_EQ(events.last(), "down 1");
}

// The far end going ends the call after a grace, or at once when the caller rings back (a
// window that closes the line at the end of that call must not stop it going idle).
TEST_F(CallTest, FarEndHangUpEndsTheCallAfterAGraceOrAtOnce)
{
    enum Case { AfterTheAlert, WhileSpeaking, AfterOurOwnHangup, RingsBackAndLineCloses };
    constexpr int kGrace = 3; // seconds between the far end going and the call's end
    for (const Case c : {AfterTheAlert, WhileSpeaking, AfterOurOwnHangup, RingsBackAndLineCloses}) {
        fresh();
        if (c == AfterOurOwnHangup) {
            answer();
            ctl->Vhangup();
            ASSERT_TRUE(waitIdle()) << c;
            events.clear();
            answer();
        } else {
            if (c == WhileSpeaking)
                QObject::connect(ctl.get(), &ClsAudioControl::SpeakStart, [&] { line->farHangUp(); });
            ASSERT_TRUE(ctl->Make_callnow("555", 2, "Hello there, this is your mail."));
            line->connect();
            if (c != WhileSpeaking) {
                ASSERT_TRUE(waitUntil([&] { return ends == 2 && timer.isActive(); })) << c;
            }
        }
        events.clear();
        ticks = 0;
        if (c != WhileSpeaking) {
            line->farHangUp();
            EXPECT_EQ(ctl->getStatus(), ClsAudioControl::FarEndHungUp) << c;
        }
        QObject scope; // as a window that closes the line at the end of a call
        if (c == RingsBackAndLineCloses) {
            QObject::connect(ctl.get(), &ClsAudioControl::VoiceDisCon, &scope, [&] { form.KillMeSelf(); });
            line->ring(1);
            line->ring(2);
            EXPECT_EQ(ctl->getStatus(), ClsAudioControl::Idle);
        }
        ASSERT_TRUE(waitUntil([&] { return texts.contains("Phone Busy Disconnect"); })) << c;
        ASSERT_TRUE(waitIdle()) << c;
        // while speaking, the end of the cut-short speech arms the hang-up time instead
        if (c != RingsBackAndLineCloses) {
            EXPECT_TRUE(c == WhileSpeaking ? ticks >= kHangup : ticks == kGrace) << c << ": " << ticks;
        }
        EXPECT_EQ(joined(events.filter(QRegularExpression("^(down|incoming)"))), "down 1") << c;
        if (!form.openLine()) { // the window opens the line again
            ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        }
    }
}

TEST_F(CallTest, CallerIdIsShownAndLoggedByItsFlags)
{
    enum PartyId { Blocked = 1, OutOfArea = 2, Name = 4, Number = 8, Partial = 16, All = -1 };
    ctl->writelog(true);
    const std::pair<int32_t, QString> rows[] = {
        {0, "From :  , N/A"},
        {Blocked | Name, "From : Ann , N/A"}, // the name comes after the block
        {OutOfArea | Partial, "From : Out of Area , 5551234"},
        {All, "From : UNAVAILABLE Caller ID , 5551234"},
    };
    QStringList logged;
    for (const auto& [flags, text] : rows) {
        line->callerId("5551234", "Ann", flags);
        EXPECT_EQ(texts.last(), text) << flags;
        logged << QString("\"phone\",\"%1\"").arg(text);
    }
    ctl->writelog(false);
    line->callerId("5551234", "Ann", Number);
    QStringList records = QString::fromLatin1(tmp.read("kv_.log")).split("\r\n", Qt::SkipEmptyParts);
    records.replaceInStrings(QRegularExpression("^.*,(\"phone\",)"), "\\1"); // the time stamp goes
    EXPECT_EQ(records, logged) << "only while logging is on";
}

TEST_F(CallTest, AFailedDialIsNeverACallInProgress)
{
    constexpr int32_t kUntouched = 5, kDialFailed = 13;
    const struct
    {
        const char* name;
        QString number = "555", refusal = ""; // the line refuses the dial with this reason
        int32_t lineError = 0; // the line reports this error while dialling
        bool lineOpen = true, placed = false;
        int32_t errorNumber = kDialFailed;
    } rows[] = {
        {.name = "empty number", .number = "", .errorNumber = kUntouched},
        {.name = "line busy", .refusal = "Busy"},
        {.name = "no line open", .lineOpen = false},
        // the line's own error wins
        {.name = "line error while dialling", .refusal = "Busy", .lineError = 70000, .errorNumber = 70000},
        {.name = "line error, yet dialling started", .lineError = 40000, .placed = true, .errorNumber = 40000},
    };
    for (const auto& r : rows) {
        fresh();
        if (!r.lineOpen)
            form.KillMeSelf();
        else
            ASSERT_EQ(form.InitModem(0, true), "Voice Modem");
        control()->errorWhileDialling = r.lineError;
        line->refuseNextCall(r.refusal);
        ctl->ErrorNumber = kUntouched;
        EXPECT_EQ(ctl->Make_callnow(r.number, 3, "New mail"), r.placed) << r.name;
        EXPECT_EQ(ctl->ErrorNumber, r.errorNumber) << r.name;
        EXPECT_EQ(ctl->getStatus(), r.placed ? ClsAudioControl::Connecting : ClsAudioControl::Idle) << r.name;
        EXPECT_EQ(joined(events), r.placed ? "incoming 1" : "") << r.name;
        EXPECT_EQ(timer.isActive(), r.placed) << r.name;
        if (r.number.isEmpty()) {
            EXPECT_TRUE(texts.isEmpty()) << "silently";
        }
        control()->errorWhileDialling = 0;
        line->refuseNextCall("");
        ctl->Vhangup();
        ASSERT_TRUE(waitIdle()) << r.name;
    }
}

// Speech that cannot start, or whose voice goes away, must not hold the call open.
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

// A simulated or an internet call goes on whatever the line does meanwhile, and hanging up
// reports the call's own kind; the internet caller hears the PIN prompt at once.
TEST_F(CallTest, SimulatedAndInternetCallsIgnoreTheLineAndEndAsTheirKind)
{
    using S = ClsAudioControl;
    for (const int32_t kind : {S::SimulatedPhone, S::NetPhone}) {
        fresh();
        if (kind == S::SimulatedPhone) {
            ctl->simPhoneConnected(0);
        } else {
            ctl->netPhoneConnected(wav);
            ASSERT_TRUE(waitUntil([&] { return events.contains("end"); }));
            EXPECT_EQ(joined(events.mid(0, 3)), "incoming 2, up 2, start");
        }
        line->ring(1);
        line->farHangUp();
        emit line->PhoneConnected(wav, 0);
        EXPECT_EQ(ctl->getStatus(), S::WaitingForPin) << kind;
        EXPECT_EQ(ctl->getPhoneMode(), kind);
        EXPECT_EQ(joined(events.filter(QRegularExpression("^(up|incoming)"))),
                  kind == S::SimulatedPhone ? "up 0" : "incoming 2, up 2");
        ctl->Vhangup();
        EXPECT_EQ(events.last(), down(kind));
        EXPECT_EQ(ctl->getStatus(), S::Idle);
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
