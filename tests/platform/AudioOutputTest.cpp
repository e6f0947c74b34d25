#include "platform/sound/AudioOutput.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QByteArray Tone(qint64 frames, int channels)
{
    QByteArray pcm(frames * channels * 2, Qt::Uninitialized);
    auto* s = reinterpret_cast<qint16*>(pcm.data());
    for (qint64 i = 0; i < frames * channels; ++i)
        s[i] = qint16((i % 40) * 500 - 10000);
    return pcm;
}

quint32 U32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 U16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

} // namespace

TEST(AudioOutput, WavFileHasACompleteHeaderForEachStream)
{
    const struct { int rate, channels; qint64 frames; } cases[] = {{8000, 1, 8000}, {22050, 1, 11025}, {44100, 2, 4410}, {11025, 2, 1}};
    testing_support::TempFolder tmp;
    for (const auto& c : cases) {
        const QString path = tmp.file("out.wav");
        {
            auto out = MakeWavFileOutput(path);
            ASSERT_TRUE(out->start(16000, 1)); // an earlier stream is replaced by the next
            out->write(Tone(500, 1));
            ASSERT_TRUE(out->start(c.rate, c.channels));
            EXPECT_EQ(out->write(Tone(c.frames, c.channels)), c.frames * c.channels * 2);
            out->write(QByteArray(1, '\x7f')); // a torn sample is not kept
            const qint64 micros = c.frames * 1000000 / c.rate;
            EXPECT_EQ(out->writtenMicros(), micros) << c.rate;
            EXPECT_EQ(out->playedMicros(), micros) << "a file hears everything at once";
            if (c.frames > 1)
                out->stop();
        } // destruction completes the header too
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        const qint64 data = c.frames * c.channels * 2;
        ASSERT_EQ(b.size(), 44 + data) << c.rate;
        EXPECT_EQ(b.left(4), "RIFF");
        EXPECT_EQ(U32(b, 4), quint32(36 + data));
        EXPECT_EQ(b.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(U32(b, 16), 16u);
        EXPECT_EQ(U16(b, 20), 1u);
        EXPECT_EQ(U16(b, 22), quint16(c.channels));
        EXPECT_EQ(U32(b, 24), quint32(c.rate));
        EXPECT_EQ(U32(b, 28), quint32(c.rate * c.channels * 2));
        EXPECT_EQ(U16(b, 32), quint16(c.channels * 2));
        EXPECT_EQ(U16(b, 34), 16u);
        EXPECT_EQ(b.mid(36, 4), "data");
        EXPECT_EQ(U32(b, 40), quint32(data));
        EXPECT_EQ(b.mid(44), Tone(c.frames, c.channels));
    }
}

TEST(AudioOutput, WavFileRefusesWhatItCannotWrite)
{
    testing_support::TempFolder tmp;
    auto out = MakeWavFileOutput(tmp.file("no/such/folder/out.wav"));
    EXPECT_FALSE(out->start(8000, 1));
    EXPECT_FALSE(out->errorString().isEmpty());
    EXPECT_EQ(out->write(Tone(10, 1)), 0);
    auto odd = MakeWavFileOutput(tmp.file("odd.wav"));
    EXPECT_FALSE(odd->start(8000, 3));
    EXPECT_FALSE(odd->start(0, 1));
}

TEST(AudioOutput, SilentOutputPlaysInRealTime)
{
    auto out = MakeSilentOutput();
    EXPECT_EQ(out->write(Tone(10, 1)), 0) << "nothing is taken before a stream starts";
    ASSERT_TRUE(out->start(8000, 1));
    QElapsedTimer clock;
    clock.start();
    out->write(Tone(2400, 1)); // 0.3 s
    EXPECT_EQ(out->writtenMicros(), 300000);
    EXPECT_LT(out->playedMicros(), 200000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return out->playedMicros() >= out->writtenMicros(); }, 3000));
    EXPECT_GE(clock.elapsed(), 280);
    EXPECT_EQ(out->playedMicros(), 300000) << "never past what was written";

    out->write(Tone(80000, 1)); // 10 s more, starting where the sound stopped
    EXPECT_LT(out->playedMicros(), 300000 + 100000);

    out->flush();
    EXPECT_EQ(out->writtenMicros(), out->playedMicros());
    EXPECT_LT(out->writtenMicros(), 1000000);

    ASSERT_TRUE(out->start(16000, 2)); // a new stream counts from zero
    EXPECT_EQ(out->writtenMicros(), 0);
    EXPECT_EQ(out->playedMicros(), 0);
}

TEST(AudioOutput, DefaultOutputPlaysOrFallsBackToSilence)
{
    // with a sound card this plays 0.1 s; without one it must still keep time
    auto out = MakeDefaultOutput();
    EXPECT_FALSE(out->description().isEmpty());
    ASSERT_TRUE(out->start(8000, 1)) << out->errorString().toStdString();
    out->write(QByteArray(1600, '\0'));
    EXPECT_EQ(out->writtenMicros(), 100000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return out->playedMicros() >= out->writtenMicros(); }, 5000));
    out->stop();
}

TEST(AudioOutput, RegistryNumbersOutputs)
{
    AudioOutputs& outputs = AudioOutputs::instance();
    ASSERT_NE(outputs.output(0), nullptr) << "the default output is always there";
    const QString description = outputs.output(0)->description();
    const int first = outputs.add(MakeSilentOutput());
    const int second = outputs.add(MakeSilentOutput());
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(outputs.descriptions().value(second), "Silent output");
    EXPECT_EQ(outputs.descriptions().value(0), description);

    outputs.remove(first);
    EXPECT_EQ(outputs.output(first), nullptr);
    EXPECT_EQ(outputs.descriptions().value(first), "") << "numbers keep their places";
    EXPECT_EQ(outputs.add(MakeSilentOutput()), first) << "a freed number is used again";
    outputs.remove(0);
    EXPECT_NE(outputs.output(0), nullptr);
    EXPECT_EQ(outputs.output(-1), nullptr);
    EXPECT_EQ(outputs.add(nullptr), -1);
    outputs.remove(first);
    outputs.remove(second);
}
