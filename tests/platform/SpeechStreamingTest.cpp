// SPDX-License-Identifier: GPL-3.0-or-later
// Speech goes out in stretches as the engine makes it, and a purge stops what is still coming.
#include "platform/speech/SpeechEngine.h"
#include "TestSupport.h"
#include "platform/speech/SpeechVoice.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <future>
#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

const QString kLongEnglish =
    QStringLiteral("The quarterly report is attached to this message, and it covers every region we serve. "
                   "Please read the summary before the meeting on Thursday, because we will not go through it line "
                   "by line. The figures for the northern offices came in late, so their part is an estimate.");
// What the engine handed on for one piece.
struct Pieces
{
    std::vector<SpeechAudio> chunks;
    SpeechAudio end;
    qsizetype total() const
    {
        qsizetype n = end.pcm.size();
        for (const auto& c : chunks)
            n += c.pcm.size();
        return n;
    }
};

// Makes one piece on the engine's thread and waits for its end; cancelAfter chunks cancels it.
Pieces Make(const QString& text, const QByteArray& voice, int cancelAfter = -1)
{
    Pieces got;
    std::promise<void> ended;
    SpeechRequest r;
    r.text = text;
    r.voiceId = voice;
    r.sampleRate = 8000;
    r.cancel = std::make_shared<std::atomic_bool>(false);
    r.chunk = [&got, cancel = r.cancel, cancelAfter](SpeechAudio a) {
        got.chunks.push_back(std::move(a));
        if (int(got.chunks.size()) == cancelAfter)
            cancel->store(true);
    };
    r.done = [&](SpeechAudio a) {
        got.end = std::move(a);
        ended.set_value();
    };
    SpeechEngine::instance().submit(std::move(r));
    ended.get_future().wait();
    return got;
}

// An output that counts what it is given and can act on the first write.
class CountingOutput : public AudioOutput
{
public:
    QString description() const override { return QStringLiteral("counting"); }
    bool start(int rate, int) override
    {
        rate_ = rate;
        return true;
    }
    qint64 write(const QByteArray& pcm) override
    {
        ++writes;
        bytes += pcm.size();
        if (writes == 1 && onFirstWrite)
            onFirstWrite();
        return pcm.size();
    }
    void flush() override { }
    void stop() override { }
    qint64 playedMicros() const override { return 0; } // nothing is heard: speech waits for it
    qint64 writtenMicros() const override { return bytes / 2 * 1000000 / rate_; }

    int writes = 0;
    qint64 bytes = 0;
    std::function<void()> onFirstWrite;

private:
    int rate_ = 8000;
};

class SpeechStreaming : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
    }
    static QByteArray voiceOf(const char* attributes)
    {
        SpeechVoice v;
        v.setVoiceByAttributes(attributes);
        return SpeechEngine::instance().voiceId(v.voice());
    }
};

} // namespace

// The first stretch is handed on long before the piece is made, mouth shapes with it, in order.
TEST_F(SpeechStreaming, HandsOnSoundWhileThePieceIsStillBeingMade)
{
    const Pieces got = Make(kLongEnglish, voiceOf("language=409"));
    EXPECT_FALSE(got.end.cancelled);
    ASSERT_GE(got.chunks.size(), 5u);
    EXPECT_GT(got.total(), 8000 * 2 * 8) << "the whole piece, more than 8 s";
    const auto firstSound =
        std::find_if(got.chunks.begin(), got.chunks.end(), [](const SpeechAudio& c) { return !c.pcm.isEmpty(); });
    ASSERT_NE(firstSound, got.chunks.end());
    EXPECT_LT(firstSound->pcm.size() * 10, got.total()) << "the first sound is a small part";
    qint64 last = -1, visemes = 0;
    for (const auto& c : got.chunks)
        for (const auto& [micros, viseme] : c.visemes) {
            EXPECT_GE(micros, last);
            last = micros;
            ++visemes;
        }
    EXPECT_GT(visemes, 50);
}

TEST_F(SpeechStreaming, ACancelInTheMiddleStopsTheRestOfThePiece)
{
    const Pieces got = Make(kLongEnglish, voiceOf("language=409"), 2);
    EXPECT_EQ(got.chunks.size(), 2u) << "nothing comes after the cancel";
    EXPECT_TRUE(got.end.cancelled && got.end.pcm.isEmpty());
}

// A purge while the first stretch is being written drops the stretches already on their way.
TEST_F(SpeechStreaming, APurgeDropsStretchesAlreadyHandedOn)
{
    auto owned = std::make_unique<CountingOutput>();
    CountingOutput* out = owned.get();
    const int number = AudioOutputs::instance().add(std::move(owned));
    SpeechVoice voice;
    QSignalSpy ends(&voice, &SpeechVoice::EndStream);
    voice.setAudioOutputStream(AudioOutputStream{number, SpeechVoice::kTelephoneFormat});
    out->onFirstWrite = [&voice] { voice.Speak(QString()); };
    voice.Speak(kLongEnglish);
    ASSERT_TRUE(testing_support::waitUntil([&] { return ends.count() == 1; }, 10000));
    // A later text on another output ends after every stretch made before it was delivered.
    voice.setAudioOutputStream(std::nullopt);
    voice.setVolume(0);
    voice.Speak(QStringLiteral("Hi."));
    ASSERT_TRUE(testing_support::waitUntil([&] { return ends.count() == 2; }, 10000));
    EXPECT_EQ(out->writes, 1);
    AudioOutputs::instance().remove(number);
}
