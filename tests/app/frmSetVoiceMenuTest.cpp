// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "RealPeers.h"
#include "app/frmSimPhone.h"
#include "mail/checkmailClass.h"
#include "platform/Clock.h"
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"

using telephony::ClsAudioControl;

namespace {

// The real engine and voices; the settings voice speaks into a WAV file, so speech ends at once.
class SimulatedTelephone : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (platform::InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        platform::SetAppClock(&clock); // a key press a second: the keypad's debounce lets each through
        RealPeers& peers = RealPeers::instance();
        peers.clear("bob");
        peers.fill("bob", {"01-plain.eml", "02-html.eml"});
        markFirstRunDone();
        useTestMailbox(RealPeers::password);
        store->SaveSetting("PhonePin", "2468");
        frmSetParts parts = RealEngineParts(mail);
        parts.voice = [] { return std::make_unique<platform::SpeechVoice>(); };
        w = &makeWindow(std::move(parts));
        ASSERT_TRUE(w->Form_Load());
        ASSERT_TRUE(testing_support::waitUntil(
            [&] { return w->listModel->rowCount() == 2 && w->panelText(2).isEmpty(); }, 15000));
        wav = platform::AudioOutputs::instance().add(platform::MakeWavFileOutput(profile.file("voice.wav")));
        w->settingsVoice->setAudioOutputStream(
            platform::AudioOutputStream{wav, platform::SpeechVoice::kTelephoneFormat});
        QObject::connect(w->audioControl(), &ClsAudioControl::Saying, [this](const QString& t) { heard << t; });
        phone = w->simPhone();
    }
    void TearDown() override
    {
        AppTest::TearDown();
        if (wav >= 0)
            platform::AudioOutputs::instance().remove(wav);
        platform::SetAppClock(nullptr);
    }
    bool heardText(const QString& part) const
    {
        return std::any_of(heard.cbegin(), heard.cend(), [&](const QString& t) { return t.contains(part); });
    }
    bool quiet()
    {
        return testing_support::waitUntil([&] { return w->isAudioDone() && !mail->SessionRunning(); }, 10000);
    }

    platform::ManualClock clock{QDateTime(QDate(2026, 12, 6), QTime(10, 0)).toMSecsSinceEpoch(), 1000};
    frmSet* w = nullptr;
    checkmailClass* mail = nullptr;
    frmSimPhone* phone = nullptr;
    int wav = -1;
    QStringList heard;
};

} // namespace

TEST_F(SimulatedTelephone, ConnectingStartsPastThePinKeysReadMessagesAndSoDoTheReadingButtons)
{
    ASSERT_TRUE(w->simAvailable());
    phone->IncomePhone->click();
    ASSERT_TRUE(quiet());
    EXPECT_EQ(w->audioControl()->getStatus(), ClsAudioControl::MenuSpeech);
    EXPECT_TRUE(heardText(" You have total 2 message and 0 new message.")) << heard.join("|").toStdString();
    EXPECT_FALSE(w->simAvailable()); // a second telephone call is not taken meanwhile

    phone->ar[2]->click();
    phone->ar[11]->click();
    ASSERT_TRUE(testing_support::waitUntil([&] { return heardText("subject. Spring newsletter"); }, 10000))
        << heard.join("|").toStdString();
    EXPECT_EQ(w->ListView1->currentIndex().row(), 1);

    phone->IncomePhone->click(); // hung up
    ASSERT_TRUE(quiet());
    EXPECT_EQ(w->audioControl()->getStatus(), ClsAudioControl::Idle);
    EXPECT_EQ(phone->IncomePhone->text(), "Connect");
    EXPECT_TRUE(w->simAvailable());

    // The reading buttons read every message and come back after the last.
    heard.clear();
    phone->Command2->click();
    EXPECT_FALSE(phone->Command2->isEnabled());
    ASSERT_TRUE(testing_support::waitUntil([&] { return phone->Command2->isEnabled(); }, 15000))
        << heard.join("|").toStdString();
    EXPECT_TRUE(heardText("subject. Meeting moved to Thursday"));
    EXPECT_TRUE(heardText("subject. Spring newsletter"));
    // The listing's end frees the line: a caller would be answered again.
    EXPECT_EQ(w->audioControl()->getStatus(), ClsAudioControl::Idle);
    EXPECT_TRUE(phone->IncomePhone->isEnabled());
}
