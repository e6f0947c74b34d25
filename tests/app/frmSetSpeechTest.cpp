// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"
#include "platform/speech/SpeechVoice.h"

namespace {

frmSetParts withVoices()
{
    frmSetParts parts;
    parts.voice = [] { return std::make_unique<platform::SpeechVoice>(); };
    return parts;
}

} // namespace

TEST_F(AppTest, StoredSpeechSettingsReachTheSettingsVoiceOnceListed)
{
    markFirstRunDone();
    store->SaveSetting("SoundRate", "-4");
    store->SaveSetting("VoiceName", "2");
    store->SaveSetting("AudioDevice", "1");
    frmSetParts parts = withVoices();
    parts.audioOutputs = [] { return QStringList{"Card A", "Card B"}; };
    frmSet& w = start(std::move(parts));
    ASSERT_TRUE(w.settingsVoice);
    // The lists follow from the event loop; a save before then keeps the stored choice.
    EXPECT_FALSE(w.voicesListed());
    EXPECT_EQ(w.AudioOutputCB->count(), 0);
    w.SaveSettings();
    EXPECT_EQ(stored("VoiceName"), "2");
    ASSERT_TRUE(testing_support::waitUntil([&] { return w.voicesListed(); }, 10000));
    EXPECT_TRUE(w.chineseVoiceAvailable());
    EXPECT_EQ(w.VoiceCB->currentIndex(), 2);
    EXPECT_EQ(w.settingsVoice->voice(), 2);
    EXPECT_EQ(w.settingsVoice->rate(), -4);
    EXPECT_EQ(w.AudioOutputCB->currentText(), "Card B");
    EXPECT_EQ(w.settingsVoice->audioOutput(), 1);
    EXPECT_TRUE(w.chineseVoice->GetVoices().value(w.chineseVoice->voice()).description.contains("Chinese"));

    w.RateSldr->setValue(7);
    EXPECT_EQ(w.settingsVoice->rate(), 7);
    w.FormatCB_Click(w.FormatCB->findText("SAFT8kHz16BitMono"));
    EXPECT_EQ(w.settingsVoice->outputFormat(), 6);
}

TEST_F(AppTest, TheTimeButtonSpeaksAndStopShowsWhileItDoes)
{
    markFirstRunDone();
    frmSet& w = start(withVoices());
    w.Check[2]->setChecked(true); // spoken captions
    w.txtGreeting->setText("Good morning, this is a somewhat longer greeting to speak.");
    w.ButtonAccount[3]->click();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !w.ButtonAccount[9]->isHidden(); }, 5000));
    EXPECT_FALSE(w.isAudioDone());
    w.ButtonAccount[9]->click(); // stop
    EXPECT_TRUE(testing_support::waitUntil([&] { return w.isAudioDone() && w.ButtonAccount[9]->isHidden(); }, 5000));
}
