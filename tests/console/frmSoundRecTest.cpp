// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/frmSoundRec.h"

#include "console/CallDatagram.h"
#include "console/SoundRecHost.h"
#include "platform/ProgramFolder.h"
#include "platform/sound/AudioOutput.h"
#include "platform/sound/SoundWaveInput.h"
#include "platform/speech/SpeechVoice.h"

#include "TestSupport.h"
#include "audio/Tones.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>

using namespace platform;

namespace {

constexpr int kWaitMs = 15000;
const auto until = [](const std::function<bool()>& done) { return testing_support::waitUntil(done, kWaitMs); };

// The voice menu's side of a forwarded call, as the main window plays it.
struct FakeMenu : SoundRecHost
{
    std::function<void(int)> speak; // what the menu says once connected
    bool mayTake = true;
    int device = 0;
    QStringList keys;
    int ended = 0;
    bool NetVoiceCall() override { return mayTake; }
    bool isAudioDone() const override { return true; }
    void NetCallConnected(int32_t d) override
    {
        device = d;
        if (speak)
            speak(d);
    }
    void DigitReceived(const QString& key) override { keys << key; }
    void NetCallEnded() override { ++ended; }
};

// One user of the program: a form on a loopback port of its own, a microphone that hums its
// own note and a speaker that keeps what it plays.
struct User
{
    frmSoundRec form;
    SilentWaveOutput* speaker = nullptr;
    QTimer fastTimer;

    User(const QString& name, double note, bool realTimeSound)
    {
        form.SetIdentity(name, name + QStringLiteral("-key"));
        EXPECT_TRUE(form.SetPort(testing_support::FreeLoopbackPort(SOCK_DGRAM)));
        const WavePace pace = realTimeSound ? WavePace::RealTime : WavePace::Manual;
        speaker = new SilentWaveOutput(pace);
        speaker->setCapture(true);
        form.SetAudioDevices(std::make_unique<SoundWaveInput>(tones::Sine(note, 8000, 0.5), pace),
                             std::unique_ptr<WaveOutput>(speaker));
        form.SetPeerTimeout(100000); // only the vanishing test relies on it
    }
    void fast(int ms = 10)
    {
        fastTimer.setInterval(ms);
        form.SetRingTimer(&fastTimer);
    }
    void call(const User& other)
    {
        form.SetCallTarget(QStringLiteral("127.0.0.1"), QString::number(other.form.Port()), QStringLiteral("k"));
        form.Call();
    }
    // The note is clearly in what the speaker played last.
    bool hears(double note) const
    {
        const auto& s = speaker->captured();
        return s.size() > 4000 && tones::Power(s, note, s.size() - 1600, 1600) > 0.01;
    }
};

struct Calls : ::testing::Test
{
    Calls() { SetProgramFolderOverride(testing_support::sourceDir() + QStringLiteral("/data")); }
    ~Calls() override { SetProgramFolderOverride(QString()); }
};

// A socket of the test's own that plays a stranger or a caller that goes silent.
struct RawPeer
{
    QUdpSocket socket;
    RawPeer() { EXPECT_TRUE(socket.bind(QHostAddress::LocalHost, 0)); }
    void send(quint8 type, const QByteArray& payload, quint16 to)
    {
        socket.writeDatagram(payload + char(type), QHostAddress::LocalHost, to);
    }
    QList<QByteArray> received;
    void drain()
    {
        while (socket.hasPendingDatagrams())
            received << socket.receiveDatagram().data();
    }
};

} // namespace

TEST_F(Calls, AnsweredCallCarriesSoundBothWaysKeysAndHangUp)
{
    User alice(QStringLiteral("alice"), 700, true), bob(QStringLiteral("bob"), 1100, true);
    alice.form.show();
    alice.form.activateWindow();
    alice.form.txtAddress->setFocus(); // where the user typed the address
    alice.call(bob);
    EXPECT_TRUE(alice.form.isCalling());
    EXPECT_EQ(alice.form.statusText(), QStringLiteral("127.0.0.1 Calling"));
    ASSERT_TRUE(until([&] { return bob.form.VoipState() == frmSoundRec::RingingIn; }));
    EXPECT_EQ(bob.form.RemoteName(), QStringLiteral("alice"));
    EXPECT_EQ(bob.form.RemoteKey(), QStringLiteral("alice-key"));

    bob.form.cmdCall->click();
    ASSERT_TRUE(until([&] { return alice.form.isConnected() && bob.form.isConnected(); }));
    ASSERT_TRUE(until([&] { return alice.hears(1100) && bob.hears(700); }))
        << "alice hears bob: " << alice.hears(1100) << ", bob hears alice: " << bob.hears(700);
    EXPECT_FALSE(alice.hears(700)) << "no echo of one's own voice";

    QSignalSpy keys(&bob.form, &frmSoundRec::DigitArrived);
    QTest::keyClick(alice.form.focusWidget(), Qt::Key_5); // typed on the keyboard
    alice.form.SendDigit(u'x'); // not a key: not sent
    ASSERT_TRUE(keys.wait(kWaitMs));
    EXPECT_EQ(keys[0][0].toString(), QStringLiteral("5"));

    alice.form.cmdHangup->click();
    EXPECT_FALSE(alice.form.isCalling());
    ASSERT_TRUE(until([&] { return !bob.form.isCalling(); }));
    EXPECT_EQ(bob.form.statusText(), QStringLiteral("alice hung up"));
    EXPECT_EQ(keys.size(), 1);
}

TEST_F(Calls, RingingGivesUpOnTheRealOneSecondTimer)
{
    User alice(QStringLiteral("alice"), 700, false);
    RawPeer silent; // takes the requests and never answers
    alice.form.SetMaxRings(1);
    alice.form.SetCallTarget(QStringLiteral("127.0.0.1"), QString::number(silent.socket.localPort()), QString());
    alice.form.Call();
    ASSERT_TRUE(until([&] { return !alice.form.isCalling(); }));
    EXPECT_EQ(alice.form.statusText(), QStringLiteral("No one answer phone"));
    silent.drain();
    ASSERT_FALSE(silent.received.isEmpty());
    EXPECT_EQ(silent.received.back(), QByteArray(1, char(callmsg::HangUp)));
    // The first request, then the request again on each ring; the callee is told when it ends.
    EXPECT_EQ(silent.received.front().back(), char(callmsg::CallRequest));
}

// Two users who call each other at once are connected. A third caller hears busy, and a
// stranger's flood changes nothing and is answered busy sparingly.
TEST_F(Calls, CallingEachOtherAtOnceConnectsAndStrangersAndThirdCallersChangeNothing)
{
    User alice(QStringLiteral("alice"), 700, false), bob(QStringLiteral("bob"), 1100, false),
        carol(QStringLiteral("carol"), 900, false);
    QTimer never; // no tick during the test: the busy allowance is not renewed
    never.setInterval(3600 * 1000);
    bob.form.SetRingTimer(&never);
    alice.call(bob);
    bob.call(alice); // before either request has been read
    ASSERT_TRUE(until([&] { return alice.form.isConnected() && bob.form.isConnected(); }));
    carol.call(bob);
    ASSERT_TRUE(until([&] { return !carol.form.isCalling(); }));
    EXPECT_EQ(carol.form.statusText(), QStringLiteral("127.0.0.1 is Busy !! "));
    QSignalSpy keys(&bob.form, &frmSoundRec::DigitArrived);
    RawPeer stranger;
    const quint16 to = quint16(bob.form.Port());
    const QByteArray block(callmsg::kGsmBlockBytes, 'x');
    QList<std::pair<quint8, QByteArray>> junk = {{callmsg::Digit, "1"},
                                                 {callmsg::KeepAlive, {}},
                                                 {callmsg::HangUp, {}},
                                                 {callmsg::Audio, callmsg::MakeAudio(block.constData(), 0)}};
    for (int i = 0; i < 256; ++i) // every type, odd lengths
        junk.append({quint8(i), QByteArray(i % 70, char(i))});
    for (int i = 0; i < 50; ++i)
        junk.append({callmsg::CallRequest, callmsg::MakeRequest("mallory", "k", 1)});
    // In rounds the socket's queue can hold; after each, Alice's key still arrives: the stranger
    // changed nothing.
    constexpr int kRound = 40;
    for (qsizetype at = 0, round = 1; at < junk.size(); at += kRound, ++round) {
        for (qsizetype i = at; i < std::min(at + kRound, junk.size()); ++i)
            stranger.send(junk[i].first, junk[i].second, to);
        alice.form.SendDigit(u'9');
        ASSERT_TRUE(until([&] { return keys.size() >= round; })) << round;
        EXPECT_EQ(keys.size(), round);
    }
    EXPECT_EQ(keys.back()[0].toString(), QStringLiteral("9"));
    EXPECT_TRUE(bob.form.isConnected() && alice.form.isConnected());
    ASSERT_TRUE(until([&] {
        stranger.drain();
        return stranger.received.size() >= frmSoundRec::kBusyRepliesPerTick - 1;
    }));
    for (const QByteArray& d : stranger.received)
        EXPECT_EQ(d, callmsg::kBusyText + char(callmsg::Busy));
    EXPECT_EQ(stranger.received.size(), frmSoundRec::kBusyRepliesPerTick - 1) << "carol had one of them";
}

// The caller hears the menu's voice at the call's pace, not Bob's microphone; keys reach the
// menu, a read message is shown, and the call ends once the menu's words are out.
TEST_F(Calls, AForwardedCallIsServedByTheVoiceMenuAtTheCallersPace)
{
    User alice(QStringLiteral("alice"), 700, true), bob(QStringLiteral("bob"), 1100, true);
    SpeechVoice voice;
    QSignalSpy spoken(&voice, &SpeechVoice::EndStream);
    FakeMenu menu;
    menu.speak = [&](int device) {
        voice.setAudioOutputStream(AudioOutputStream{device, SpeechVoice::kTelephoneFormat});
        voice.Speak(QStringLiteral("Please enter password"));
    };
    bob.form.setHost(&menu);
    bob.fast(20);
    bob.form.SetForwardAfterRings(2);
    alice.call(bob);
    ASSERT_TRUE(until([&] { return alice.form.isConnected() && menu.device != 0; }));
    EXPECT_TRUE(alice.form.isForwarded() && bob.form.isForwarded());
    const qint64 before = alice.speaker->playedSamples(); // the ring, if any
    double loudest = 0;
    ASSERT_TRUE(until([&] {
        const auto& s = alice.speaker->captured();
        loudest = std::max(loudest, s.size() > 800 ? tones::Rms(s, s.size() - 800, 800) : 0.0);
        return spoken.size() == 1;
    }));
    // The prompt takes over a second to say; it ends only once the call has taken it all.
    EXPECT_GT(loudest, 300) << "alice heard the prompt while it was spoken";
    EXPECT_GE(alice.speaker->playedSamples() - before, 6400) << "the prompt was not over before it was heard";
    EXPECT_FALSE(alice.hears(1100));

    alice.form.SendDigit(u'#');
    ASSERT_TRUE(until([&] { return !menu.keys.isEmpty(); }));
    EXPECT_EQ(menu.keys, QStringList{QStringLiteral("#")});
    bob.form.MessageRetrieved(QStringLiteral("Lunch\nAt noon"));
    ASSERT_TRUE(until([&] { return alice.form.logLines().contains(QStringLiteral("bob: Lunch")); }));
    EXPECT_TRUE(alice.form.logLines().contains(QStringLiteral("At noon")));
    bob.form.VoiceMenuEnded();
    ASSERT_TRUE(until([&] { return !alice.form.isCalling() && !bob.form.isCalling(); }));
    EXPECT_EQ(menu.ended, 1);
    EXPECT_EQ(AudioOutputs::instance().output(menu.device), nullptr);
}

// A call to a typed address rings on while the menu is busy and ends when it is declined; a
// call that is answered and then never heard from again ends on its own.
TEST_F(Calls, AMenuThatIsBusyLeavesTheCallRingingAndAVanishedPeerEndsTheCall)
{
    User alice(QStringLiteral("alice"), 700, false), bob(QStringLiteral("bob"), 1100, false);
    FakeMenu menu;
    menu.mayTake = false;
    bob.form.setHost(&menu);
    bob.fast();
    bob.form.SetMaxRings(1000);
    bob.form.SetForwardAfterRings(1);
    alice.form.txtAddress->setText(QStringLiteral("127.0.0.1:") + QString::number(bob.form.Port()));
    alice.form.cmdCall->click();
    ASSERT_TRUE(until([&] { return bob.form.VoipState() == frmSoundRec::RingingIn; }));
    QSignalSpy ticks(&bob.fastTimer, &QTimer::timeout);
    ASSERT_TRUE(until([&] { return ticks.size() >= 5; }));
    EXPECT_EQ(bob.form.VoipState(), frmSoundRec::RingingIn);
    EXPECT_EQ(menu.device, 0);
    bob.form.Hangup(); // declining ends the caller's ringing
    ASSERT_TRUE(until([&] { return !alice.form.isCalling(); }));
    EXPECT_EQ(alice.form.statusText(), QStringLiteral("127.0.0.1 hung up"));

    bob.form.SetForwardAfterRings(0);
    RawPeer caller; // calls, is answered, then is never heard again
    caller.send(callmsg::CallRequest, callmsg::MakeRequest("ghost", "k", caller.socket.localPort()),
                quint16(bob.form.Port()));
    ASSERT_TRUE(until([&] { return bob.form.VoipState() == frmSoundRec::RingingIn; }));
    bob.form.Call();
    ASSERT_TRUE(bob.form.isConnected());
    bob.form.SetPeerTimeout(5);
    ASSERT_TRUE(until([&] { return !bob.form.isCalling(); }));
    EXPECT_EQ(bob.form.statusText(), QStringLiteral("ghost stopped answering; the call has ended"));
    caller.drain();
    ASSERT_GE(caller.received.size(), 2);
    EXPECT_EQ(caller.received[0], callmsg::kAcceptedText + char(callmsg::Accepted));
    EXPECT_EQ(caller.received[1], QByteArray(1, char(callmsg::KeepAlive))) << "a quiet call still says it is there";
}
