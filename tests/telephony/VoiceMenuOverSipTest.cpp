// SPDX-License-Identifier: GPL-3.0-or-later
// Whole calls through the keypad voice menu over a SIP listener: a telephone on a SIP stack of
// its own in the test process places or takes the call, hears the line and presses keys as
// RFC 4733 events, and the mailbox is a real POP3 server.
#include "mail/MailFixture.h"
#include "RealPeers.h"
#include "InProcessSipPhone.h"
#include "SipPeers.h"
#include "telephony/FixedCallHost.h"

#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FrmModem.h"

#include <QRegularExpression>

using namespace sip_peers;
using telephony::ClsAudioControl;
using Status = ClsAudioControl::Status;
using testing_support::waitUntil;

namespace {

constexpr int kRingMs = 300;
constexpr double kHeard = 0.4; // seconds of sound that show a text was spoken down the line

// The program's telephone chain over a SIP listener, wired to the mail engine as the main window
// wires them: keys to the menu, the end of each piece of speech to the next, the fetched message
// read aloud, and the voice routed down the line while a call is up.
class VoiceMenuOverSip : public MailTest
{
protected:
    void SetUp() override
    {
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        peers.clear("alice");
        account(peers.pop3Port());
        engine.PinCode = "2468";

        line = static_cast<platform::SipLine*>(
            table.addBackend(std::make_unique<platform::SipLine>(QList{DirectLine(port = ListenerPort())})));
        line->setRingInterval(kRingMs);
        ASSERT_EQ(modem.InitModem(0, true), "Voice Modem");

        callHost.hangup = 50; // ticks of 100 ms: no step of a call waits this long
        callHost.onCall = callHost.offCall = &voice;
        timer.setInterval(100); // the 6-tick ring gap outlasts the line's time between rings
        audio.ModemPhone(&modem);
        audio.timercontrol(&timer);
        audio.setHost(&callHost);
        audio.AutoAnswer = true; // on the second ring
        engine.SetAudioControl(&audio);

        QObject::connect(&audio, &ClsAudioControl::Saying, &audio, [this](const QString& t) {
            heard.emplace_back(phone.now(), t);
            saidTexts << t;
        });
        QObject::connect(&audio, &ClsAudioControl::IncomingPhone, &engine, [this] { engine.CallStarted(true); });
        QObject::connect(&audio, &ClsAudioControl::DigitReceived, &engine, &checkmailClass::DigitReceived);
        QObject::connect(&audio, &ClsAudioControl::SpeakRemain, &engine, &checkmailClass::TTSRemain);
        QObject::connect(&audio, &ClsAudioControl::VoiceConnected, &voice, [this](int32_t kind, int32_t device) {
            if (kind == ClsAudioControl::ModemLine)
                voice.setAudioOutputStream(
                    platform::AudioOutputStream{device, platform::SpeechVoice::kTelephoneFormat});
        });
        QObject::connect(&audio, &ClsAudioControl::VoiceDisCon, &voice,
                         [this](int32_t) { voice.setAudioOutputStream(std::nullopt); });
        QObject::connect(&engine, &checkmailClass::CheckmailFinish, &engine, [this](int32_t mode) {
            if (mode == checkmailClass::FetchOne)
                engine.ReadFetchedMessage();
        });
    }

    QString us() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // Waits until a text holding part is spoken (since the last keys) and heard at the far end.
    testing::AssertionResult hear(const QString& part)
    {
        qint64 at = -1;
        waitUntil([&] {
            for (size_t i = mark; at < 0 && i < heard.size(); ++i)
                at = heard[i].second.contains(part) ? heard[i].first : -1;
            return at >= 0;
        });
        if (at >= 0 && waitUntil([&] { return phone.soundSince(at) >= kHeard; }, 5000))
            return testing::AssertionSuccess();
        return testing::AssertionFailure()
               << '"' << part.toStdString()
               << (at < 0 ? "\" was never said; said: " : "\" was said but not heard; said: ")
               << saidTexts.join(u'|').toStdString() << "\n"
               << phone.log().join(u' ').toStdString();
    }
    // Presses the keys and waits until they are all sent.
    bool press(const QString& keys)
    {
        mark = heard.size();
        phone.press(keys);
        return waitUntil([&] { return phone.pressed(); });
    }
    QStringList messageIds() const
    {
        QStringList ids;
        for (const QString& path : peers.mailboxFiles("alice"))
            ids << QRegularExpression("Message-ID: <([^>]*)>").match(testing_support::readFile(path)).captured(1);
        return ids;
    }

    RealPeers& peers = RealPeers::instance();
    InProcessSipPhone phone{QStringLiteral("\"Alice\" <sip:5551234@127.0.0.1>")};
    std::vector<std::pair<qint64, QString>> heard; // what the controller spoke, and when
    QStringList saidTexts;
    size_t mark = 0; // sayings before the last keys
    quint16 port = 0;
    platform::LineDeviceTable table;
    platform::SipLine* line = nullptr;
    telephony::FrmModem modem{[this] { return std::make_unique<platform::ModemControl>(table); }};
    QTimer timer;
    platform::SpeechVoice voice;
    FixedCallHost callHost;
    ClsAudioControl audio; // goes first: hangs up while the form and the line are still there
};

} // namespace

// A caller, rung back after hanging up, is answered on the second ring, keys the PIN, hears the
// totals, has message 1 read, steps to message 2, deletes it on the server and says good-bye;
// every answer is heard at the far end, the BYE reaches it and the voice is back on the sound card.
TEST_F(VoiceMenuOverSip, ACallerReadsStepsDeletesAndSaysGoodBye)
{
    peers.fill("alice", {"01-plain.eml", "02-html.eml", "06-alternative.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    ASSERT_EQ(list.rowCount(), 3);

    ASSERT_TRUE(phone.call(QStringLiteral("sip:korvalen@") + us()));
    ASSERT_TRUE(hear(QStringLiteral(" Please enter Password")));
    // hung up during the prompt and rung back at once: the new ring ends the old call, though
    // the line rings more often than that call's end would wait for
    phone.hangUp();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::FarEndHungUp; }));
    ASSERT_TRUE(phone.waitFor(QStringLiteral("ended by us")));
    callHost.shown.clear();
    mark = heard.size();
    ASSERT_TRUE(phone.call(QStringLiteral("sip:korvalen@") + us()));
    ASSERT_TRUE(hear(QStringLiteral(" Please enter Password")));
    ASSERT_EQ(audio.getStatus(), Status::WaitingForPin);
    EXPECT_EQ(callHost.shown.filter(QStringLiteral("Ring")),
              QStringList({"The Phone Has Ring 1 times.", "The Phone Has Ring 2 times."}))
        << "answered on ring 2, and the ringing stopped";
    EXPECT_TRUE(callHost.shown.contains(QStringLiteral("From : Alice , 5551234")));

    ASSERT_TRUE(press("2468#"));
    EXPECT_TRUE(hear(QStringLiteral(
        " You have total 3 message and 0 new message. please enter message number, then press enter key")));
    EXPECT_EQ(audio.getStatus(), Status::MenuSpeech);

    // "1#" reads message 1 and cuts the totals short; "3" steps on.
    ASSERT_TRUE(press("1#"));
    EXPECT_TRUE(hear(QStringLiteral("subject. Meeting moved to Thursday from. Tom Baker")));
    EXPECT_EQ(audio.getStatus(), Status::ReadingPieces);
    ASSERT_TRUE(press("3"));
    EXPECT_TRUE(hear(QStringLiteral("subject. Spring newsletter from. Newsletter Team")));

    // Two "0"s delete the message read, on the server.
    ASSERT_TRUE(press("0"));
    EXPECT_TRUE(hear(QStringLiteral(" press 0 again to delete this message")));
    EXPECT_EQ(messageIds().size(), 3);
    ASSERT_TRUE(press("0"));
    EXPECT_TRUE(hear(QStringLiteral(" message deleted")));
    EXPECT_EQ(messageIds(), QStringList({"20240304.0001.a7f3@example.org", "20240309.0006.a7f3@example.org"}));
    EXPECT_EQ(column(1), QStringList({"Meeting moved to Thursday", "Photos from the trip"}));

    // "#" once all is said: good-bye is heard, then the line hangs up and the caller gets the BYE.
    ASSERT_TRUE(waitUntil([&] { return audio.isDonePlay(); })) << "all is said";
    ASSERT_TRUE(press("#"));
    EXPECT_TRUE(hear(QStringLiteral(" Good bye")));
    EXPECT_TRUE(phone.waitFor(QStringLiteral("ended by them"))) << phone.log().join(u' ').toStdString();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle; }));
    EXPECT_EQ(saidTexts.last(), " Good bye") << "nothing was said after good-bye";
    EXPECT_EQ(line->LineState(), 0);
    EXPECT_EQ(line->audioDevice(), -1);
    EXPECT_EQ(voice.audioOutput(), 0);
}

// New mail arrives and the engine rings the user, who answers, hears the alert, presses a key
// and hears the new message, and ends the call while it is read.
TEST_F(VoiceMenuOverSip, AnAnsweredAlertCallReadsTheNewMail)
{
    peers.fill("alice", {"01-plain.eml", "02-html.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    peers.fill("alice", {"06-alternative.eml"});
    ASSERT_TRUE(check(checkmailClass::TimedCheck));
    ASSERT_EQ(engine.NewMailCount, 1);

    ASSERT_TRUE(phone.started());
    engine.PhoneOn = true;
    engine.RepeatCount = 3;
    engine.PhoneNumber = QStringLiteral("sip:alert@") + phone.address();
    ASSERT_EQ(engine.AlertUser(), -1);
    ASSERT_TRUE(hear(QStringLiteral(" You have total 1 new message.")));
    EXPECT_EQ(audio.getStatus(), Status::AlertSaying);

    ASSERT_TRUE(press("5"));
    EXPECT_TRUE(hear(QStringLiteral("subject. Photos from the trip from. Carol Smith")));
    EXPECT_TRUE(engine.AlertAnswered);
    EXPECT_EQ(audio.getStatus(), Status::ReadingPieces);
    EXPECT_EQ(host.selected, QList<int>{2});

    // "#" cuts the message short: good-bye is still heard before the BYE
    ASSERT_TRUE(press("#"));
    EXPECT_TRUE(hear(QStringLiteral(" Good bye")));
    EXPECT_TRUE(phone.waitFor(QStringLiteral("ended by them"))) << phone.log().join(u' ').toStdString();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle; }));
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 3) << "reading deletes nothing";
    EXPECT_EQ(line->LineState(), 0);
}
