// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "mail/checkmailClass.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FrmModem.h"

using telephony::ClsAudioControl;

namespace {

// A main window with the real engine, voices and a scripted line, its timers lent fast: a
// controller tick is 2 ms, the modem comes back 5 ms after a call.
class PhoneTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        platform::SetAppClock(&clock); // the log's pause passes at once
        line = static_cast<platform::ScriptedLine*>(
            platform::LineDeviceTable::instance().addBackend(std::make_unique<platform::ScriptedLine>()));
        line->setConnectOnAnswer(true);
        markFirstRunDone();
        store->SaveSetting("voicemodem0", "0");
        store->SaveSetting("AutoAnsCheck", "1");
        store->SaveSetting("hangupTime", "2");
        store->SaveSetting("repeatvoice", "2");
        store->SaveSetting("phone1", "5551234");
        store->SaveSetting("logcheck", "1");
        frmSetParts parts = RealEngineParts(mail);
        parts.voice = [] { return std::make_unique<platform::SpeechVoice>(); };
        w = &start(parts);
        w->VoiceTimeout->setInterval(2);
        w->ObjAudioReload->setInterval(5);
        w->CheckMailTimer->stop(); // the countdown must not start a real check
        engine()->PauseAfterLog = false;
    }
    void TearDown() override
    {
        AppTest::TearDown();
        platform::LineDeviceTable::instance().clear();
        platform::SetAppClock(nullptr);
    }
    checkmailClass* mail = nullptr; // the engine behind the window's seam
    checkmailClass* engine() { return mail; }
    ClsAudioControl* audio() { return w->audioControl(); }
    bool idleAgain()
    {
        return testing_support::waitUntil(
            [&] {
                return audio()->getStatus() == ClsAudioControl::Idle && w->modemForm()->isLoaded()
                       && line->openedDevice() == 0;
            },
            10000);
    }
    QString log() const
    {
        return QString::fromLatin1(testing_support::readFile(QDir(platform::ProgramFolder()).filePath("kv_.log")));
    }

    platform::ManualClock clock{1'700'000'000'000, 1000};
    platform::ScriptedLine* line = nullptr;
    frmSet* w = nullptr;
};

} // namespace

// A failed dial is logged and leaves the countdown running; the next one rings the user.
TEST_F(PhoneTest, EnoughNewMailRingsTheUserWhoHearsTheNewsThenTheLineComesBack)
{
    w->CheckMailTimer->start();
    w->MailObj_CheckmailStart();
    engine()->NewMailCount = 1;
    line->refuseNextCall("No Dialtone");
    w->MailObj_CheckmailFinish(checkmailClass::TimedCheck);
    EXPECT_EQ(std::pair(audio()->getStatus(), audio()->ErrorNumber), std::pair(int32_t(ClsAudioControl::Idle), 13));
    EXPECT_TRUE(log().contains("\"Phone\",\"Error, Please check Line & Hardware \""));
    EXPECT_TRUE(w->CheckMailTimer->isActive());

    const qsizetype opens = line->operations().count("open 0 auto");
    w->MailObj_CheckmailStart();
    engine()->NewMailCount = 3;
    w->MailObj_CheckmailFinish(checkmailClass::TimedCheck);
    EXPECT_TRUE(line->operations().contains("dial 5551234")) << line->operations().join(", ").toStdString();
    EXPECT_FALSE(w->CheckMailTimer->isActive()) << "no check while the user is called";

    ASSERT_TRUE(testing_support::waitUntil([&] { return audio()->getStatus() == ClsAudioControl::AlertSaying; }, 5000));
    const int device = line->audioDevice();
    ASSERT_GE(device, 1);
    EXPECT_EQ(w->defaultVoice->audioOutput(), device) << "the voices speak down the line";
    EXPECT_EQ(w->defaultVoice->outputFormat(), platform::SpeechVoice::kTelephoneFormat);

    ASSERT_TRUE(idleAgain()) << "the call ends after the hang-up time";
    EXPECT_TRUE(line->operations().contains("hangup"));
    EXPECT_GT(line->spoken().size(), 2 * 8000 * 2) << "the news was heard, more than a second of it";
    EXPECT_EQ(w->defaultVoice->audioOutput(), 0) << "the voices are back on the sound card";
    EXPECT_EQ(line->operations().count("open 0 auto"), opens + 1) << "the line was opened again after the call";
    EXPECT_TRUE(w->CheckMailTimer->isActive());
    EXPECT_TRUE(w->frame[1]->isEnabled()) << "the settings pages are usable again";
    for (const char* text :
         {"\"Phone\",\"Calling 5551234\"", "\"Phone\",\"Phone Connected..\"", "\"Phone\",\"Disconnected\""})
        EXPECT_TRUE(log().contains(text)) << text << "\n" << log().toStdString();
}

TEST_F(PhoneTest, ACallerIsAnsweredOnTheSetRingOnlyWhenTheEngineIsReady)
{
    line->ring(1);
    line->ring(2);
    EXPECT_FALSE(line->operations().contains("answer")) << "not ready: the call is refused";
    ASSERT_TRUE(testing_support::waitUntil([&] { return audio()->getStatus() == ClsAudioControl::Idle; }, 5000))
        << "back to idle after the ring gap";

    engine()->PhoneReady = true;
    w->Pin->setText("2468");
    line->ring(1);
    EXPECT_FALSE(line->operations().contains("answer"));
    line->ring(2);
    EXPECT_TRUE(line->operations().contains("answer"));
    EXPECT_EQ(engine()->PinCode, "2468");
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return audio()->getStatus() == ClsAudioControl::WaitingForPin && audio()->isDonePlay(); }, 5000));
    EXPECT_GT(line->spoken().size(), 8000) << "the PIN prompt went down the line";
    EXPECT_EQ(w->defaultVoice->rate(), 1);
    line->farHangUp();
    ASSERT_TRUE(idleAgain());
    EXPECT_EQ(w->defaultVoice->audioOutput(), 0);
}
