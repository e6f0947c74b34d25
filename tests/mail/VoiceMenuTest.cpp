// SPDX-License-Identifier: GPL-3.0-or-later
// The keypad voice menu over a scripted line, with a real voice, a real POP3 server and a real
// SMTP sink: what a caller hears for the keys they press.
#include "MailFixture.h"
#include "RealPeers.h"
#include "ComposePage.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "protocols/ScriptedServer.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FixedCallHost.h"
#include "telephony/FrmModem.h"

using telephony::ClsAudioControl;
using Status = ClsAudioControl::Status;

namespace {

// The console's compose page: dictated keys edit its body as the main window applies them.

class VoiceMenu : public MailTest
{
protected:
    void SetUp() override
    {
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        peers.clear("alice");
        peers.clearSent();
        account(peers.pop3Port());
        host.port = peers.smtpPort();
        host.form = &form;
        engine.PinCode = "2468";
        wav = platform::AudioOutputs::instance().add(platform::MakeWavFileOutput(programFolder.file("voice.wav")));
        voice.setAudioOutputStream(platform::AudioOutputStream{wav, platform::SpeechVoice::kTelephoneFormat});
        callHost.hangup = 1000; // ticks of 3 ms: every key of a scenario, also on a loaded machine
        callHost.onCall = callHost.offCall = &voice;
        timer.setInterval(3);
        ASSERT_EQ(modem.InitModem(0, true), "Voice Modem");
        audio.ModemPhone(&modem);
        audio.timercontrol(&timer);
        audio.setHost(&callHost);
        audio.setVoiceEng(&voice);
        audio.AutoAnswer = true;
        engine.SetAudioControl(&audio);
        // What the main window does with the engine's and the controller's events.
        QObject::connect(&audio, &ClsAudioControl::Saying, [this](const QString& t) { heard << t; });
        QObject::connect(&audio, &ClsAudioControl::IncomingPhone, [this] { engine.CallStarted(true); });
        QObject::connect(&audio, &ClsAudioControl::DigitReceived, &engine, &checkmailClass::DigitReceived);
        QObject::connect(&audio, &ClsAudioControl::SpeakRemain, &engine, &checkmailClass::TTSRemain);
        QObject::connect(&audio, &ClsAudioControl::VoiceConnected, [this](int32_t kind, int32_t device) {
            if (kind == ClsAudioControl::ModemLine)
                voice.setAudioOutputStream(
                    platform::AudioOutputStream{device, platform::SpeechVoice::kTelephoneFormat});
        });
        QObject::connect(&audio, &ClsAudioControl::VoiceDisCon, [this](int32_t) {
            voice.setAudioOutputStream(platform::AudioOutputStream{wav, platform::SpeechVoice::kTelephoneFormat});
        });
        QObject::connect(&engine, &checkmailClass::CheckmailFinish, [this](int32_t mode) {
            if (mode == checkmailClass::FetchOne)
                engine.ReadFetchedMessage();
        });
        QObject::connect(&engine, &checkmailClass::ChangeVoiceEngine, [this](int32_t l) { languages << l; });
        QObject::connect(&engine, &checkmailClass::DisplayDigitInput, [this](const QString& c) { form.key(c); });
    }
    void TearDown() override
    {
        if (wav >= 0)
            platform::AudioOutputs::instance().remove(wav);
    }

    bool quiet()
    {
        return waitUntil([&] { return audio.isDonePlay() && !engine.SessionRunning(); });
    }
    // A caller rings, is answered on the second ring and hears the PIN prompt.
    void call()
    {
        heard.clear();
        line->ring(1);
        line->ring(2);
        line->connect();
        ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::WaitingForPin && audio.isDonePlay(); }));
    }
    // Presses the keys one after another, each once the last one's answer has been spoken.
    void press(const QString& keys)
    {
        for (QChar k : keys) {
            line->digit(QString(k));
            ASSERT_TRUE(quiet()) << "after key " << k.toLatin1();
        }
    }
    QString last() const { return heard.isEmpty() ? QString() : heard.last(); }
    bool heardText(const QString& part) const
    {
        return std::any_of(heard.cbegin(), heard.cend(), [&](const QString& t) { return t.contains(part); });
    }
    void signIn()
    {
        call();
        press("2468#");
        ASSERT_EQ(audio.getStatus(), Status::MenuSpeech);
    }

    RealPeers& peers = RealPeers::instance();
    ComposePage form;
    platform::LineDeviceTable table;
    platform::ScriptedLine* line =
        static_cast<platform::ScriptedLine*>(table.addBackend(std::make_unique<platform::ScriptedLine>()));
    telephony::FrmModem modem{[this] { return std::make_unique<platform::ModemControl>(table); }};
    QTimer timer;
    platform::SpeechVoice voice;
    FixedCallHost callHost;
    ClsAudioControl audio;
    int wav = -1;
    QStringList heard;
    QList<int32_t> languages;
};

} // namespace

// An empty PIN never opens the menu; three wrong tries end a call, and after three such calls
// the line says good-bye at once until the lockout has passed.
TEST_F(VoiceMenu, WrongPinsEndTheCallAndLockTheLine)
{
    engine.PinCode = "";
    call();
    press("#");
    EXPECT_NE(audio.getStatus(), Status::MenuSpeech);
    line->farHangUp();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle; }));
    clock.advance(qint64(checkmailClass::kLockoutSeconds) * 1000); // that try is long past
    engine.PinCode = "2468";
    for (int c = 0; c < 3; ++c) {
        call();
        press("1#1#1#");
        EXPECT_TRUE(heardText(" Please Re enter Password"));
        EXPECT_EQ(last(), " Good bye");
        ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle; }));
    }
    heard.clear();
    line->ring(1);
    line->ring(2);
    line->connect();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle && heardText(" Good bye"); }));
    clock.advance(qint64(checkmailClass::kLockoutSeconds) * 1000);
    call();
    press("2468#");
    EXPECT_EQ(audio.getStatus(), Status::MenuSpeech);
}

// Reading, stepping, deleting by id and good-bye are VoiceMenuOverSip's, heard at a SIP phone.
TEST_F(VoiceMenu, ACallerReadsInChineseDictatesAReplyAndHangsUp)
{
    peers.fill("alice", {"03-big5.eml", "06-alternative.eml"});
    ASSERT_TRUE(check(checkmailClass::FirstCheck));
    signIn();
    EXPECT_EQ(last(), " You have total 2 message and 0 new message. please enter message number, then press enter key");

    press("0001#"); // a fifth key or "#" ends the number: no good-bye follows
    EXPECT_EQ(audio.getStatus(), Status::ReadingPieces);
    // The Big5 subject is spoken in Chinese, by the Chinese voice, not dropped.
    EXPECT_TRUE(heardText(QString::fromUtf8("下週三會議通知")) || heardText(QString::fromUtf8("下周三会议通知")))
        << heard.join("|").toStdString();
    EXPECT_TRUE(languages.contains(3));
    press("1");
    EXPECT_TRUE(last().startsWith(" there are no previous message"));
    EXPECT_EQ(audio.getStatus(), Status::MenuSpeech); // the text asks for a number

    press("2");
    line->digit("#");
    line->digit("8"); // the message is still on its way: nothing to reply to yet
    ASSERT_TRUE(quiet());
    EXPECT_EQ(form.shown, 0);
    EXPECT_TRUE(heardText(" there is no message to reply to"));
    EXPECT_EQ(host.selected.last(), 1);
    press("09"); // delete takes two "0"s; any other key in between keeps the message
    EXPECT_EQ(peers.mailboxFiles("alice").size(), 2);

    press("8");
    EXPECT_EQ(form.shown, 1);
    EXPECT_EQ(form.to(), "carol@example.org");
    EXPECT_EQ(form.subject(), "Re: Photos from the trip");
    EXPECT_EQ(audio.getStatus(), Status::WaitingForInput);
    press("9685728071998381"); // o k, a typo, backspace, blank, y e s: "ok yes"
    EXPECT_EQ(form.body(), "ok yes");
    press("##");
    ASSERT_TRUE(waitUntil([&] { return !engine.Sending() && last() == " E mail send complete"; }));
    const auto sent = peers.sentMessages();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].rcptTos, QStringList({"carol@example.org"}));
    EXPECT_TRUE(sent[0].data.contains("Subject: Re: Photos from the trip\r\n"));
    EXPECT_TRUE(sent[0].data.endsWith("\r\n\r\nok yes\r\n"));
    // A person's reply, in the thread of the message read.
    EXPECT_TRUE(sent[0].data.contains("\r\nIn-Reply-To: <20240309.0006.a7f3@example.org>\r\n"));
    EXPECT_FALSE(sent[0].data.contains("Auto-Submitted"));

    // "**" leaves the dictation without sending.
    press("872**");
    EXPECT_EQ(audio.getStatus(), Status::MenuRepeating);
    EXPECT_EQ(peers.sentMessages().size(), 1);

    // Nothing is read once the caller hangs up, and the next call starts clean.
    press("11"); // retrieve, message 1
    heard.clear();
    line->digit("#"); // the fetch starts; the caller hangs up before it ends
    line->farHangUp();
    ASSERT_TRUE(waitUntil([&] { return audio.getStatus() == Status::Idle && !engine.SessionRunning(); }));
    ASSERT_TRUE(quiet());
    EXPECT_FALSE(heardText("message received on"));
    call();
    press("2468#");
    EXPECT_EQ(audio.getStatus(), Status::MenuSpeech); // no key of the last call was left over
}
