// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"
#include "platform/sound/SoundWaveInput.h"

#include "TestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace platform;

TEST(SoundWaveInput, RecordsItsSoundOverAndOver)
{
    SoundWaveInput in({1, 2, 3}, WavePace::Manual);
    ASSERT_EQ(in.open(2), WaveOk);
    qint16 a[4] = {}, b[4] = {};
    in.addBuffer(a, 4, 7);
    in.addBuffer(b, 4, 8);
    QSignalSpy filled(&in, &WaveInput::bufferFilled);
    in.advance(8); // not recording yet: nothing
    EXPECT_EQ(filled.size(), 0);
    ASSERT_EQ(in.start(), WaveOk);
    in.advance(8);
    ASSERT_EQ(filled.size(), 2);
    EXPECT_EQ(filled[0][0].toInt(), 7);
    EXPECT_EQ(std::vector<qint16>(a, a + 4), (std::vector<qint16>{1, 2, 3, 1}));
    EXPECT_EQ(std::vector<qint16>(b, b + 4), (std::vector<qint16>{2, 3, 1, 2}));
    EXPECT_EQ(in.position(), 8);
}

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
