// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ClsMeida.h"
#include "platform/sound/WaveDevice.h"

#include "TestSupport.h"
#include "audio/Tones.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace audio;
using namespace platform;

namespace {

// Devices that fail the way a sound card can.
class BrokenInput : public SilentWaveInput
{
public:
    bool failOpen = false, failStart = false, failStop = false;
    using SilentWaveInput::SilentWaveInput;
    int open(int n) override { return failOpen ? WaveDeviceError : SilentWaveInput::open(n); }
    int start() override { return failStart ? WaveDeviceError : SilentWaveInput::start(); }
    int stop() override { return failStop ? WaveNotOpen : SilentWaveInput::stop(); }
    QString errorString() const override { return failOpen ? "no microphone" : QString(); }
};

// A call's sound on silent devices moved by hand.
struct Call : ::testing::Test
{
    ClsMeida media;
    BrokenInput* in = new BrokenInput(WavePace::Manual);
    SilentWaveOutput* out = new SilentWaveOutput(WavePace::Manual);
    QSignalSpy done{&media, &ClsMeida::OutputDone};
    QStringList log;
    testing_support::TempFolder dir;

    Call()
    {
        out->setCapture(true);
        media.SetDevices(std::unique_ptr<WaveInput>(in), std::unique_ptr<WaveOutput>(out));
        QObject::connect(&media, &ClsMeida::LogLine, [this](const QString& line) { log << line; });
    }

    QString goodFile(int samples)
    {
        EXPECT_TRUE(WriteGsmWave(dir.file("tone.wav"), tones::Sine(1000, samples, 0.5), nullptr));
        return dir.file("tone.wav");
    }
};

} // namespace

TEST_F(Call, OpenAllocatesOnceStreamsUntilStoppedAndCloseFreesAll)
{
    const int live = ClsMemory::LiveBlocks();
    in->failOpen = true;
    EXPECT_FALSE(media.AudioOpen());
    EXPECT_EQ(media.ErrorText(), "no microphone");
    EXPECT_FALSE(media.IsOpen() || media.AudioStartStream());
    EXPECT_EQ(ClsMemory::LiveBlocks(), live) << "a failed open leaves nothing allocated";
    in->failOpen = false;

    ASSERT_TRUE(media.AudioOpen()) << media.ErrorText().toStdString();
    EXPECT_EQ(std::pair(ClsMemory::LiveBlocks(), media.FreeBufferCount()), std::pair(live + 25 + 225, 225));
    const qint64 allocations = ClsMemory::AllocationCount();
    EXPECT_TRUE(media.AudioOpen()); // already open: nothing new
    EXPECT_EQ(ClsMemory::AllocationCount(), allocations);

    // Streaming sends blocks until stopped, without allocating.
    QSignalSpy blocks(&media, &ClsMeida::InputData);
    in->advance(3 * kGsmBlockSamples); // not streaming yet: nothing recorded
    in->failStart = true;
    EXPECT_FALSE(media.AudioStartStream());
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    in->failStart = false;

    ASSERT_TRUE(media.AudioStartStream());
    EXPECT_EQ(media.GetState(), ClsMeida::Streaming);
    in->advance(kGsmBlockSamples * 60 + 100); // more than the 25 buffers: they come back
    ASSERT_EQ(blocks.count(), 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(std::pair(blocks.at(i).at(0).toInt(), blocks.at(i).at(1).toByteArray().size()),
                  std::pair(i % 25, qsizetype(kGsmBlockBytes)))
            << i;
    EXPECT_LT(tones::Rms(GsmDecode(blocks.at(59).at(1).toByteArray())), 50) << "silence stays silence";
    EXPECT_EQ(ClsMemory::AllocationCount(), allocations);

    in->failStop = true;
    media.StopStream();
    in->failStop = false;
    media.StopStream();
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    in->advance(kGsmBlockSamples * 10);
    EXPECT_EQ(blocks.count(), 60);
    EXPECT_EQ(log, QStringList({"waveInStart error 1", "StreamStart", "waveInStop error 2", "StreamStop"}));

    media.AudioClose();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    media.AudioClose(); // closing twice is harmless
}

TEST_F(Call, ReceivedBlocksPlayInOrderAndReturnToTheFreeBuffers)
{
    ASSERT_TRUE(media.AudioOpen());
    const QByteArray blocks = GsmEncode(tones::Sine(600, 10 * kGsmBlockSamples, 0.4));
    const qint64 allocations = ClsMemory::AllocationCount();
    for (int b = 0; b < 10; ++b)
        ASSERT_TRUE(media.PlayBlock(blocks.constData() + b * kGsmBlockBytes));
    EXPECT_EQ(std::pair(media.FreeBufferCount(), out->queuedBuffers()), std::pair(215, 10));
    // A buffer still on the device (handed out from the top) is neither queued twice nor prepared again.
    EXPECT_EQ(std::pair(media.ReceiveBuffer(224)->Add(), media.ReceiveBuffer(224)->Unprepare()),
              std::pair(int(WaveStillPlaying), int(WaveStillPlaying)));

    out->advance(10 * kGsmBlockSamples);
    ASSERT_EQ(done.count(), 10);
    EXPECT_EQ(done.at(0).at(0).toInt(), 224);
    EXPECT_EQ(media.FreeBufferCount(), 225);
    EXPECT_EQ(out->captured(), GsmDecode(blocks)); // one decoder for the whole stream
    EXPECT_EQ(ClsMemory::AllocationCount(), allocations);

    // Every buffer in use at once, then no more.
    for (int b = 0; b < 225; ++b)
        ASSERT_TRUE(media.PlayBlock(blocks.constData()));
    EXPECT_FALSE(media.PlayBlock(blocks.constData()));
    media.AudioClose(); // drops them: each still reports done
    EXPECT_EQ(done.count(), 10 + 225);
}

// A file is refused before open, while streaming, when bad and while another plays; one that
// plays is held once and released however it ends. (Played whole and reported at its end: the
// SimPhone tests hear every sound file through this player.)
TEST_F(Call, AFileIsRefusedWhenItCannotPlayAndReleasedHoweverItEnds)
{
    const QString good = goodFile(8000);
    EXPECT_TRUE(!media.PlayFile(good) && media.GetState() == ClsMeida::Idle) << "not open";
    ASSERT_TRUE(media.AudioOpen());
    const int live = ClsMemory::LiveBlocks();
    ASSERT_TRUE(media.AudioStartStream());
    EXPECT_FALSE(media.PlayFile(good));
    EXPECT_EQ(media.GetState(), ClsMeida::Streaming);
    media.StopStream();
    dir.write("bad.wav", "RIFF");
    for (const QString name : {"bad.wav", "missing.wav"}) { // the reason names the file
        EXPECT_FALSE(media.PlayFile(dir.file(name))) << name.toStdString();
        EXPECT_TRUE(media.ErrorText().contains(name) && media.GetState() == ClsMeida::Idle)
            << media.ErrorText().toStdString();
    }
    EXPECT_EQ(std::pair(out->queuedBuffers(), ClsMemory::LiveBlocks()), std::pair(0, live));

    // Part way through, each of these takes the file off the output and reports it; closing
    // the file (again, or the audio) releases it once.
    const std::pair<const char*, void (*)(ClsMeida&)> ends[] = {{"stopped", [](ClsMeida& m) { m.StopPlayFile(); }},
                                                                {"closed", [](ClsMeida& m) { m.CloseFile(); }},
                                                                {"audio closed", [](ClsMeida& m) { m.AudioClose(); }}};
    for (const auto& [how, end] : ends) {
        ASSERT_TRUE(media.PlayFile(good)) << how;
        EXPECT_EQ(std::pair(media.GetState(), ClsMemory::LiveBlocks()),
                  std::pair(int(ClsMeida::PlayingFile), live + 1));
        EXPECT_FALSE(media.PlayFile(good)); // one file at a time
        out->advance(800);
        const qsizetype reported = done.count();
        end(media);
        EXPECT_EQ(std::pair(done.count() - reported, out->queuedBuffers()), std::pair(qsizetype(1), 0)) << how;
        media.CloseFile();
        EXPECT_EQ(media.GetState(), ClsMeida::Idle) << how;
    }
    EXPECT_EQ(ClsMemory::LiveBlocks(), live - 250); // the audio's own buffers went with it
}

// On the real clock: without a sound card the call falls back to silent devices that keep
// real time; either way blocks flow.
TEST(DefaultDevices, ACallWorksWithOrWithoutASoundCard)
{
    ClsMeida media;
    QSignalSpy sent(&media, &ClsMeida::InputData), played(&media, &ClsMeida::OutputDone);
    ASSERT_TRUE(media.AudioOpen()) << media.ErrorText().toStdString();
    ASSERT_TRUE(media.AudioStartStream());
    ASSERT_TRUE(media.PlayBlock(QByteArray(kGsmBlockBytes, '\0').constData()));
    EXPECT_TRUE(sent.wait(3000));
    EXPECT_TRUE(played.count() > 0 || played.wait(3000));
}

// The silent devices stand in for a sound card: they keep real time, so speech and calls
// last as long as their sound, and they refuse what a card would refuse.
TEST(SilentDevices, KeepRealTimeAndRefuseWhatTheyCannotTake)
{
    // 100 ms of sound is done no sooner than 100 ms after it was queued.
    SilentWaveOutput out;
    std::vector<qint16> samples(800);
    EXPECT_EQ(out.write(samples.data(), 800, 7), WaveNotOpen);
    ASSERT_EQ(out.open(2), WaveOk);
    QSignalSpy done(&out, &SilentWaveOutput::bufferDone);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(out.write(samples.data(), 800, 7), WaveOk);
    EXPECT_EQ(out.write(samples.data(), 10, 8), WaveOk);
    EXPECT_EQ(out.write(samples.data(), 10, 9), WaveQueueFull);
    EXPECT_EQ(out.write(nullptr, 10, 9), WaveBadBuffer);
    ASSERT_TRUE(done.wait(3000));
    EXPECT_GE(clock.elapsed(), 95);
    EXPECT_EQ(done.at(0).at(0).toInt(), 7);

    SilentWaveInput in;
    ASSERT_EQ(in.open(2), WaveOk);
    QSignalSpy filled(&in, &SilentWaveInput::bufferFilled);
    std::vector<qint16> rec(320, 1234);
    ASSERT_EQ(in.addBuffer(rec.data(), 320, 3), WaveOk);
    clock.restart();
    ASSERT_EQ(in.start(), WaveOk);
    ASSERT_TRUE(filled.wait(3000));
    EXPECT_GE(clock.elapsed(), 38);
    EXPECT_EQ(rec, std::vector<qint16>(320, 0));
    in.close();
    EXPECT_EQ(in.addBuffer(rec.data(), 320, 3), WaveNotOpen);
}
