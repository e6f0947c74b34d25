// SPDX-License-Identifier: GPL-3.0-or-later
// The sound card's module, loaded into a program that exports the platform classes it takes.
#include "platform/Modules.h"
#include "platform/sound/SoundCard.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace platform;
using testing_support::waitUntil;

TEST(SoundCard, ModuleLoadsAndItsDevicesWorkOrSayWhyNot)
{
    QString problem;
    const auto card = reinterpret_cast<KorvalenSoundCard>(
        ModuleFunction(QStringLiteral(KORVALEN_SOUNDCARD_MODULE), KORVALEN_SOUND_CARD, &problem));
    ASSERT_NE(card, nullptr) << problem.toStdString();
    const SoundCardParts* parts = card();

    // Speech keeps real time with or without a device, and refuses a format outputs do not take.
    std::unique_ptr<AudioOutput> speech(parts->newOutput());
    EXPECT_FALSE(speech->description().isEmpty());
    EXPECT_FALSE(speech->start(500, 1));
    EXPECT_TRUE(speech->errorString().contains("Unsupported")) << speech->errorString().toStdString();
    ASSERT_TRUE(speech->start(8000, 1)) << speech->errorString().toStdString();
    speech->write(QByteArray(1600, '\0'));
    EXPECT_EQ(speech->writtenMicros(), 100000);
    EXPECT_TRUE(waitUntil([&] { return speech->playedMicros() >= speech->writtenMicros(); }, 5000));
    speech->stop();

    // The call's devices play and record their buffers, or say why they cannot open.
    std::unique_ptr<WaveOutput> loudspeaker(parts->newWaveOutput());
    if (const int result = loudspeaker->open(4); result != WaveOk) {
        EXPECT_EQ(result, WaveDeviceError);
        EXPECT_FALSE(loudspeaker->errorString().isEmpty());
    } else {
        std::vector<qint16> samples(800);
        int done = -1;
        QObject::connect(loudspeaker.get(), &WaveOutput::bufferDone, [&](int id) { done = id; });
        ASSERT_EQ(loudspeaker->write(samples.data(), int(samples.size()), 7), WaveOk);
        EXPECT_TRUE(waitUntil([&] { return done == 7; }, 5000));
        loudspeaker->close();
    }
    std::unique_ptr<WaveInput> microphone(parts->newWaveInput());
    if (const int result = microphone->open(4); result != WaveOk) {
        EXPECT_EQ(result, WaveDeviceError);
        EXPECT_FALSE(microphone->errorString().isEmpty());
    } else {
        std::vector<qint16> samples(800);
        int filled = -1;
        QObject::connect(microphone.get(), &WaveInput::bufferFilled, [&](int id) { filled = id; });
        ASSERT_EQ(microphone->addBuffer(samples.data(), int(samples.size()), 3), WaveOk);
        ASSERT_EQ(microphone->start(), WaveOk);
        EXPECT_TRUE(waitUntil([&] { return filled == 3; }, 5000));
        microphone->close();
    }
}
