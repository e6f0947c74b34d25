// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"
#include "platform/sound/SoundWaveInput.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(SoundWaveInput, ReadsOnlyEightKilohertzMonoPcmFiles)
{
    testing_support::TempFolder dir;
    const QByteArray samples("\x01\x00\xff\xff\x00\x80", 6);
    dir.write("good.wav", PcmWavHeader(8000, 1, samples.size()) + samples);
    dir.write("stereo.wav", PcmWavHeader(8000, 2, samples.size()) + samples);
    dir.write("fast.wav", PcmWavHeader(44100, 1, samples.size()) + samples);
    dir.write("short.wav", PcmWavHeader(8000, 1, 1000) + samples); // says more than it holds
    dir.write("junk.wav", "RIFF....WAVEfmt ");

    std::vector<qint16> s;
    QString error;
    ASSERT_TRUE(SoundWaveInput::ReadPcmWave(dir.file("good.wav"), &s, &error)) << error.toStdString();
    EXPECT_EQ(s, (std::vector<qint16>{1, -1, -32768}));
    ASSERT_TRUE(SoundWaveInput::ReadPcmWave(dir.file("short.wav"), &s, &error));
    EXPECT_EQ(s.size(), 3u) << "what the file holds, no more";
    for (const char* name : {"stereo.wav", "fast.wav", "junk.wav", "missing.wav"}) {
        error.clear();
        EXPECT_FALSE(SoundWaveInput::ReadPcmWave(dir.file(name), &s, &error)) << name;
        EXPECT_TRUE(error.contains(name)) << error.toStdString();
    }
}
