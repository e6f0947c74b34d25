// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the internet call: the form it loads, and a call the form forwards
// to the voice menu.
#include "AppFixture.h"
#include "console/frmSoundRec.h"
#include "platform/sound/AudioOutput.h"
#include "telephony/ClsAudioControl.h"

#include <sys/socket.h>

using telephony::ClsAudioControl;

namespace {

struct KeyEngine : FakeEngine
{
    QStringList keys;
    QList<bool> calls; // CallStarted's lineCall, one per call
    void DigitReceived(const QString& key) override { keys << key; }
    void CallStarted(bool lineCall, const QString&) override { calls << lineCall; }
};

} // namespace

TEST_F(AppTest, AnInternetCallerReachesTheMenuOnlyBehindAPinOfTheUsersOwn)
{
    markFirstRunDone();
    const quint16 port = testing_support::FreeLoopbackPort(SOCK_DGRAM);
    store->SaveSetting("port", QString::number(port));
    KeyEngine* engine = nullptr;
    frmSet& w = start(EngineParts(engine));
    ASSERT_NE(w.soundRec(), nullptr);
    EXPECT_EQ(w.soundRec()->Port(), port) << "the form listens on the stored port";
    EXPECT_FALSE(w.soundRec()->isVisible());

    for (auto [pin, taken] : {std::pair{"4071", false}, {"", false}, {"2468", true}}) { // 4071: the shipped PIN
        w.Pin->setText(pin);
        EXPECT_EQ(w.NetVoiceCall(), taken) << pin;
    }

    const int device = platform::AudioOutputs::instance().add(platform::MakeSilentOutput());
    w.NetCallConnected(device);
    ClsAudioControl* ctl = w.audioControl();
    EXPECT_EQ(ctl->getPhoneMode(), ClsAudioControl::NetPhone);
    EXPECT_EQ(ctl->getStatus(), ClsAudioControl::WaitingForPin);
    EXPECT_EQ(engine->calls, QList<bool>{true}) << "a stranger's wrong PINs count as on a line";
    w.DigitReceived("7");
    EXPECT_EQ(engine->keys, QStringList{"7"});
    EXPECT_FALSE(w.NetVoiceCall()) << "one caller at a time";

    w.NetCallEnded(); // the caller hung up
    EXPECT_EQ(ctl->getStatus(), ClsAudioControl::Idle);
    w.DigitReceived("8"); // a key after the call goes nowhere
    EXPECT_EQ(engine->keys, QStringList{"7"});
    EXPECT_TRUE(w.NetVoiceCall());
    platform::AudioOutputs::instance().remove(device);
}
