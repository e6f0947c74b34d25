// SPDX-License-Identifier: GPL-3.0-or-later
// The speech settings page and what the window speaks itself.
#include "app/frmSet.h"

#include "platform/speech/SpeechVoice.h"

#include <QComboBox>
#include <QPushButton>
#include <QSlider>

void frmSet::connectSpeechControls()
{
    connect(VoiceCB, &QComboBox::activated, this, &frmSet::VoiceCB_Click);
    connect(AudioOutputCB, &QComboBox::activated, this, &frmSet::AudioOutputCB_Click);
    connect(FormatCB, &QComboBox::activated, this, &frmSet::FormatCB_Click);
    if (!settingsVoice)
        return;
    connect(RateSldr, &QSlider::valueChanged, settingsVoice.get(), &platform::SpeechVoice::setRate);
    connect(VolumeSldr, &QSlider::valueChanged, settingsVoice.get(), &platform::SpeechVoice::setVolume);
    // The stop button shows while a voice speaks.
    for (platform::SpeechVoice* voice : {settingsVoice.get(), defaultVoice.get(), chineseVoice.get()}) {
        connect(voice, &platform::SpeechVoice::StartStream, this, [this] { ButtonAccount[9]->show(); });
        connect(voice, &platform::SpeechVoice::EndStream, this, [this] {
            if (isAudioDone())
                ButtonAccount[9]->hide();
        });
    }
    ButtonAccount[3]->setEnabled(true);
    ButtonAccount[9]->setEnabled(true);
}

void frmSet::VoiceCB_Click(int index)
{
    if (!settingsVoice)
        return;
    settingsVoice->setVoice(index);
    defaultVoice->setVoice(index);
}

void frmSet::AudioOutputCB_Click(int index)
{
    if (!settingsVoice || !AudioOutputCB->isEnabled())
        return;
    settingsVoice->setAudioOutput(index);
    FormatCB_Click(FormatCB->currentIndex());
}

void frmSet::FormatCB_Click(int index)
{
    if (!settingsVoice || index < 0)
        return;
    settingsVoice->setAllowAudioOutputFormatChangesOnNextSet(false);
    settingsVoice->setOutputFormat(FormatCB->itemData(index).toInt());
}
