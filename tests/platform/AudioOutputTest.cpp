// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// 16-bit samples that differ from byte to byte.
QByteArray Pcm(qint64 frames, int channels)
{
    QByteArray pcm(frames * channels * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < pcm.size(); ++i)
        pcm[i] = char(i * 7 + i / 251);
    return pcm;
}

} // namespace

TEST(AudioOutput, WavFileHasACompleteHeaderForEachStreamOrRefuses)
{
    const struct
    {
        int rate, channels;
        qint64 frames;
    } cases[] = {{8000, 1, 8000}, {22050, 1, 11025}, {44100, 2, 4410}, {11025, 2, 1}};
    testing_support::TempFolder tmp;
    for (const auto& c : cases) {
        {
            auto out = MakeWavFileOutput(tmp.file("out.wav"));
            ASSERT_TRUE(out->start(16000, 1)); // an earlier stream is replaced by the next
            out->write(Pcm(500, 1));
            ASSERT_TRUE(out->start(c.rate, c.channels));
            EXPECT_EQ(out->write(Pcm(c.frames, c.channels)), c.frames * c.channels * 2);
            out->write(QByteArray(1, '\x7f')); // a torn sample is not kept
            const qint64 micros = c.frames * 1000000 / c.rate;
            EXPECT_EQ(std::pair(out->writtenMicros(), out->playedMicros()), std::pair(micros, micros))
                << c.rate << ": a file hears everything at once";
            if (c.frames > 1)
                out->stop();
        } // destruction completes the header too
        const QByteArray b = tmp.read("out.wav");
        const quint32 data = quint32(c.frames * c.channels * 2), frame = quint32(c.channels * 2);
        auto Le = [](quint32 v, int bytes) {
            v = qToLittleEndian(v);
            return QByteArray(reinterpret_cast<const char*>(&v), bytes);
        };
        const QByteArray header = "RIFF" + Le(36 + data, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(c.channels, 2)
                                  + Le(c.rate, 4) + Le(c.rate * frame, 4) + Le(frame, 2) + Le(16, 2) + "data"
                                  + Le(data, 4);
        EXPECT_EQ(b.left(44).toHex(' '), header.toHex(' ')) << c.rate;
        EXPECT_TRUE(b.mid(44) == Pcm(c.frames, c.channels)) << c.rate << ": " << b.size() << " bytes";
    }
    // what cannot be written is refused
    auto out = MakeWavFileOutput(tmp.file("no/such/folder/out.wav"));
    EXPECT_FALSE(out->start(8000, 1));
    EXPECT_FALSE(out->errorString().isEmpty());
    EXPECT_EQ(out->write(Pcm(10, 1)), 0);
    auto odd = MakeWavFileOutput(tmp.file("odd.wav"));
    EXPECT_FALSE(odd->start(8000, 3) || odd->start(0, 1));
}

TEST(AudioOutput, SilentOutputPlaysInRealTime)
{
    auto out = MakeSilentOutput();
    EXPECT_EQ(out->write(Pcm(10, 1)), 0) << "nothing is taken before a stream starts";
    ASSERT_TRUE(out->start(8000, 1));
    QElapsedTimer clock;
    clock.start();
    out->write(Pcm(2400, 1)); // 0.3 s
    EXPECT_EQ(out->writtenMicros(), 300000);
    EXPECT_LT(out->playedMicros(), 200000);
    ASSERT_TRUE(testing_support::waitUntil([&] { return out->playedMicros() >= out->writtenMicros(); }, 3000));
    EXPECT_GE(clock.elapsed(), 280);
    EXPECT_EQ(out->playedMicros(), 300000) << "never past what was written";

    out->write(Pcm(80000, 1)); // 10 s more, starting where the sound stopped
    EXPECT_LT(out->playedMicros(), 300000 + 100000);
    out->flush();
    EXPECT_EQ(out->writtenMicros(), out->playedMicros());
    EXPECT_LT(out->writtenMicros(), 1000000);

    ASSERT_TRUE(out->start(16000, 2)); // a new stream counts from zero
    EXPECT_EQ(std::pair(out->writtenMicros(), out->playedMicros()), std::pair(qint64(0), qint64(0)));
}

TEST(AudioOutput, RegistryNumbersOutputsAfterTheDefaultOne)
{
    AudioOutputs& outputs = AudioOutputs::instance();
    // always there: with a sound card it plays 0.1 s; without one it must still keep time
    AudioOutput* sound = outputs.output(0);
    ASSERT_NE(sound, nullptr);
    EXPECT_TRUE(!sound->description().isEmpty() && outputs.descriptions().value(0) == sound->description());
    ASSERT_TRUE(sound->start(8000, 1)) << sound->errorString().toStdString();
    sound->write(QByteArray(1600, '\0'));
    EXPECT_EQ(sound->writtenMicros(), 100000);
    EXPECT_TRUE(testing_support::waitUntil([&] { return sound->playedMicros() >= sound->writtenMicros(); }, 5000));
    sound->stop();

    const int first = outputs.add(MakeSilentOutput()), second = outputs.add(MakeSilentOutput());
    EXPECT_TRUE(first > 0 && second > first) << first << ", " << second;
    outputs.remove(first);
    EXPECT_EQ(outputs.output(first), nullptr);
    EXPECT_EQ(outputs.descriptions().value(first), "") << "numbers keep their places";
    EXPECT_EQ(outputs.add(MakeSilentOutput()), first) << "a freed number is used again";
    outputs.remove(0);
    EXPECT_NE(outputs.output(0), nullptr) << "the default output stays";
    outputs.remove(first);
    outputs.remove(second);
}
