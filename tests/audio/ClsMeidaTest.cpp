#include "audio/ClsMeida.h"
#include "platform/sound/WaveDevice.h"

#include "TestSupport.h"
#include "audio/Tones.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace audio;
using platform::SilentWaveInput;
using platform::SilentWaveOutput;
using platform::WavePace;

namespace {

// Devices that fail the way a sound card can.
class BrokenInput : public SilentWaveInput
{
public:
    bool failOpen = false, failStart = false, failStop = false;
    using SilentWaveInput::SilentWaveInput;
    int open(int n) override { return failOpen ? platform::WaveDeviceError : SilentWaveInput::open(n); }
    int start() override { return failStart ? platform::WaveDeviceError : SilentWaveInput::start(); }
    int stop() override { return failStop ? platform::WaveNotOpen : SilentWaveInput::stop(); }
    QString errorString() const override { return failOpen ? "no microphone" : QString(); }
};

// A call's sound on silent devices moved by hand.
struct Call : ::testing::Test
{
    ClsMeida media;
    BrokenInput* in = nullptr;
    SilentWaveOutput* out = nullptr;
    QSignalSpy log{&media, &ClsMeida::LogLine};
    QSignalSpy done{&media, &ClsMeida::OutputDone};
    testing_support::TempFolder dir;

    Call()
    {
        auto i = std::make_unique<BrokenInput>(WavePace::Manual);
        auto o = std::make_unique<SilentWaveOutput>(WavePace::Manual);
        in = i.get();
        out = o.get();
        out->setCapture(true);
        media.SetDevices(std::move(i), std::move(o));
    }

    QString goodFile(int samples = 1600)
    {
        QString error;
        EXPECT_TRUE(WriteGsmWave(dir.file("tone.wav"), tones::Sine(1000, samples, 0.5), &error));
        return dir.file("tone.wav");
    }

    QStringList logLines() const
    {
        QStringList l;
        for (const auto& args : log)
            l << args.at(0).toString();
        return l;
    }
};

} // namespace

TEST_F(Call, OpenAllocatesEveryBufferOnceAndCloseFreesThem)
{
    const int live = ClsMemory::LiveBlocks();
    EXPECT_EQ(media.GetWaveHwndIn(), 0);
    ASSERT_TRUE(media.AudioOpen()) << media.ErrorText().toStdString();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live + ClsMeida::kInputBuffers + ClsMeida::kReceiveBuffers);
    EXPECT_EQ(media.FreeBufferCount(), 225);
    EXPECT_NE(media.GetWaveHwndIn(), 0);
    for (int i : {0, 224}) {
        ASSERT_NE(media.ReceiveBuffer(i), nullptr);
        EXPECT_EQ(media.ReceiveBuffer(i)->dwUser(), i);
        EXPECT_TRUE(media.ReceiveBuffer(i)->isPrepared());
        EXPECT_NE(media.ReceiveBuffer(i)->hMem(), 0u);
    }
    EXPECT_EQ(media.ReceiveBuffer(225), nullptr);

    const qint64 allocations = ClsMemory::AllocationCount();
    EXPECT_TRUE(media.AudioOpen()); // already open: nothing new
    EXPECT_EQ(ClsMemory::AllocationCount(), allocations);

    media.AudioClose();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    EXPECT_EQ(media.GetWaveHwndIn(), 0);
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    media.AudioClose(); // closing twice is harmless
}

TEST_F(Call, OpenFailureGivesTheDevicesReasonAndLeavesNothingAllocated)
{
    const int live = ClsMemory::LiveBlocks();
    in->failOpen = true;
    EXPECT_FALSE(media.AudioOpen());
    EXPECT_EQ(media.ErrorText(), "no microphone");
    EXPECT_FALSE(media.IsOpen());
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    EXPECT_FALSE(media.AudioStartStream());
}

TEST_F(Call, StreamSendsBlocksUntilStoppedWithoutAllocating)
{
    QSignalSpy blocks(&media, &ClsMeida::InputData);
    ASSERT_TRUE(media.AudioOpen());
    in->advance(3 * kGsmBlockSamples); // not streaming yet: nothing recorded
    EXPECT_EQ(blocks.count(), 0);

    const qint64 allocations = ClsMemory::AllocationCount();
    ASSERT_TRUE(media.AudioStartStream());
    EXPECT_EQ(media.GetState(), ClsMeida::Streaming);
    in->advance(kGsmBlockSamples * 60 + 100); // more than the 25 buffers: they come back
    ASSERT_EQ(blocks.count(), 60);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(blocks.at(i).at(0).toInt(), i % 25);
        EXPECT_EQ(blocks.at(i).at(1).toByteArray().size(), kGsmBlockBytes);
    }
    // Silence stays silence through the encoder.
    const auto decoded = GsmDecode(blocks.at(59).at(1).toByteArray());
    EXPECT_LT(tones::Rms(decoded), 50);
    EXPECT_EQ(ClsMemory::AllocationCount(), allocations);

    media.StopStream();
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    in->advance(kGsmBlockSamples * 10);
    EXPECT_EQ(blocks.count(), 60);
    EXPECT_EQ(logLines(), QStringList({"StreamStart", "StreamStop"}));
}

TEST_F(Call, StartAndStopFailuresAreLogLinesWithTheirNumber)
{
    ASSERT_TRUE(media.AudioOpen());
    in->failStart = true;
    EXPECT_FALSE(media.AudioStartStream());
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    in->failStart = false;
    ASSERT_TRUE(media.AudioStartStream());
    in->failStop = true;
    media.StopStream();
    EXPECT_EQ(logLines(), QStringList({"waveInStart error 1", "StreamStart", "waveInStop error 2"}));
}

TEST_F(Call, ReceivedBlocksPlayInOrderAndReturnToTheFreeBuffers)
{
    ASSERT_TRUE(media.AudioOpen());
    const QByteArray blocks = GsmEncode(tones::Sine(600, 10 * kGsmBlockSamples, 0.4));
    const qint64 allocations = ClsMemory::AllocationCount();
    for (int b = 0; b < 10; ++b)
        ASSERT_TRUE(media.PlayBlock(blocks.constData() + b * kGsmBlockBytes));
    EXPECT_EQ(media.FreeBufferCount(), 215);
    EXPECT_EQ(out->queuedBuffers(), 10);

    // A buffer still on the device can be neither prepared again nor queued twice.
    CReceiveBuffer* busy = media.ReceiveBuffer(224); // the free buffers are handed out from the top
    EXPECT_EQ(busy->Add(), platform::WaveStillPlaying);
    EXPECT_EQ(busy->Unprepare(), platform::WaveStillPlaying);

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
    EXPECT_EQ(media.TakeFreeBuffer(), nullptr);
    media.AudioClose(); // drops them: each still reports done
    EXPECT_EQ(done.count(), 10 + 225);
}

TEST_F(Call, PlayFileIsRefusedBeforeOpenWhileStreamingAndForABadFile)
{
    const QString good = goodFile();
    EXPECT_FALSE(media.PlayFile(good)); // not open
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);

    ASSERT_TRUE(media.AudioOpen());
    const int live = ClsMemory::LiveBlocks();
    ASSERT_TRUE(media.AudioStartStream());
    EXPECT_FALSE(media.PlayFile(good));
    EXPECT_EQ(media.GetState(), ClsMeida::Streaming);
    media.StopStream();

    dir.write("pcm.wav", QByteArray("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\0\0\0\0", 44));
    QFile goodBytes(good);
    ASSERT_TRUE(goodBytes.open(QIODevice::ReadOnly));
    dir.write("cut.wav", goodBytes.readAll().chopped(100));
    for (const QString name : {"pcm.wav", "cut.wav", "missing.wav"}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(media.PlayFile(dir.file(name)));
        EXPECT_FALSE(media.ErrorText().isEmpty());
        EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    }
    EXPECT_TRUE(media.ErrorText().contains("missing.wav"));
    EXPECT_EQ(out->queuedBuffers(), 0);
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    EXPECT_EQ(out->playedSamples(), 0);

    EXPECT_TRUE(media.PlayFile(good)); // a refusal leaves the player usable
}

TEST_F(Call, GoodFilePlaysOnTheOpenOutputAndIsReleasedOnce)
{
    ASSERT_TRUE(media.AudioOpen());
    const int live = ClsMemory::LiveBlocks();
    const QString path = goodFile(1600);
    ASSERT_TRUE(media.PlayFile(path)) << media.ErrorText().toStdString();
    EXPECT_EQ(media.GetState(), ClsMeida::PlayingFile);
    EXPECT_EQ(ClsMemory::LiveBlocks(), live + 1);
    EXPECT_FALSE(media.PlayFile(path)); // one file at a time

    out->advance(1000);
    EXPECT_TRUE(done.isEmpty());
    out->advance(600);
    ASSERT_EQ(done.count(), 1);
    EXPECT_EQ(done.at(0).at(0).toInt(), ClsMeida::kFileBuffer);
    EXPECT_EQ(out->captured().size(), 1600u); // the file's samples, not its padded blocks
    EXPECT_GT(tones::Power(out->captured(), 1000, 320, 1280), 0.1);

    media.StopPlayFile();
    media.CloseFile();
    EXPECT_EQ(media.GetState(), ClsMeida::Idle);
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    media.CloseFile();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
}

TEST_F(Call, StoppingAFileDropsItAndCloseFileFreesItOnce)
{
    ASSERT_TRUE(media.AudioOpen());
    const int live = ClsMemory::LiveBlocks();
    ASSERT_TRUE(media.PlayFile(goodFile(8000)));
    out->advance(800);
    media.StopPlayFile();
    ASSERT_EQ(done.count(), 1); // dropped, reported
    EXPECT_EQ(out->queuedBuffers(), 0);
    EXPECT_EQ(media.GetState(), ClsMeida::PlayingFile);
    media.CloseFile();
    media.CloseFile();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);

    // Closing the file while it plays takes it off the output first.
    ASSERT_TRUE(media.PlayFile(goodFile(8000)));
    media.CloseFile();
    EXPECT_EQ(out->queuedBuffers(), 0);
    EXPECT_EQ(done.count(), 2);
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
    // And closing the audio releases a file left open.
    ASSERT_TRUE(media.PlayFile(goodFile(800)));
    media.AudioClose();
    EXPECT_EQ(ClsMemory::LiveBlocks(), live - 250);
}

TEST(SilentDevices, KeepRealTime)
{
    // 100 ms of sound is done no sooner than 100 ms after it was queued.
    SilentWaveOutput out;
    ASSERT_EQ(out.open(4), platform::WaveOk);
    QSignalSpy done(&out, &SilentWaveOutput::bufferDone);
    std::vector<qint16> samples(800);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(out.write(samples.data(), 800, 7), platform::WaveOk);
    ASSERT_TRUE(done.wait(3000));
    EXPECT_GE(clock.elapsed(), 95);
    EXPECT_EQ(done.at(0).at(0).toInt(), 7);

    SilentWaveInput in;
    ASSERT_EQ(in.open(2), platform::WaveOk);
    QSignalSpy filled(&in, &SilentWaveInput::bufferFilled);
    std::vector<qint16> rec(320, 1234);
    ASSERT_EQ(in.addBuffer(rec.data(), 320, 3), platform::WaveOk);
    clock.restart();
    ASSERT_EQ(in.start(), platform::WaveOk);
    ASSERT_TRUE(filled.wait(3000));
    EXPECT_GE(clock.elapsed(), 38);
    EXPECT_EQ(rec, std::vector<qint16>(320, 0));
    in.close();
    EXPECT_EQ(in.addBuffer(rec.data(), 320, 3), platform::WaveNotOpen);
}

TEST(SilentDevices, RefuseMoreBuffersThanOpenedFor)
{
    SilentWaveOutput out(WavePace::Manual);
    std::vector<qint16> s(10);
    EXPECT_EQ(out.write(s.data(), 10, 0), platform::WaveNotOpen);
    out.open(2);
    EXPECT_EQ(out.write(s.data(), 10, 0), platform::WaveOk);
    EXPECT_EQ(out.write(s.data(), 10, 1), platform::WaveOk);
    EXPECT_EQ(out.write(s.data(), 10, 2), platform::WaveQueueFull);
    EXPECT_EQ(out.write(nullptr, 10, 2), platform::WaveBadBuffer);
}

TEST(DefaultDevices, WorkWithOrWithoutASoundCard)
{
    // Without a sound card these fall back to silent devices; either way buffers come back.
    auto out = platform::MakeDefaultWaveOutput();
    ASSERT_EQ(out->open(4), platform::WaveOk) << out->errorString().toStdString();
    EXPECT_NE(out->id(), 0);
    QSignalSpy done(out.get(), &platform::WaveOutput::bufferDone);
    std::vector<qint16> samples(320);
    ASSERT_EQ(out->write(samples.data(), 320, 1), platform::WaveOk);
    EXPECT_TRUE(done.wait(3000));
    out->close();

    auto in = platform::MakeDefaultWaveInput();
    ASSERT_EQ(in->open(4), platform::WaveOk) << in->errorString().toStdString();
    QSignalSpy filled(in.get(), &platform::WaveInput::bufferFilled);
    ASSERT_EQ(in->addBuffer(samples.data(), 320, 1), platform::WaveOk);
    ASSERT_EQ(in->start(), platform::WaveOk);
    EXPECT_TRUE(filled.wait(3000));
    in->close();
}
