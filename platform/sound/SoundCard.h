// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/sound/AudioOutput.h"
#include "platform/sound/WaveDevice.h"

namespace platform {

// The sound card is a module of its own: the sound system's library brings an audio stack of
// about twenty libraries, which a start need not wait for. It is loaded the first time sound goes
// to or comes from the card.
struct SoundCardParts
{
    // Speech to the card; each stream without a usable device goes to a silent output instead.
    AudioOutput* (*newOutput)();
    // The call's microphone and loudspeaker at 8 kHz; open() fails, saying why, without one.
    WaveInput* (*newWaveInput)();
    WaveOutput* (*newWaveOutput)();
};

// The module's parts, loaded on first use on any thread; nullptr when the module cannot be loaded
// (said once on the program's error output), and sound then goes to silent devices.
const SoundCardParts* SoundCard();
// Where the module is, and what is wrong with it (empty when nothing), for the data check.
QString SoundCardModulePath();
QString CheckSoundCardModule(const QString& path);

} // namespace platform

// The one function the module exports.
#define KORVALEN_SOUND_CARD "korvalen_sound_card"
extern "C" {
using KorvalenSoundCard = const platform::SoundCardParts* (*)();
}
