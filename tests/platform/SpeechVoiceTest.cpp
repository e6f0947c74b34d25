// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/SpeechVoice.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>
#include <QtEndian>
#include <deque>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// What a voice raised, in order ("S" start, "E" end), and each viseme with when it came.
struct Recorder
{
    QString log;
    QList<int> visemes;
    QList<qint64> visemeTimes;
    QElapsedTimer clock;

    explicit Recorder(SpeechVoice& voice)
    {
        clock.start();
        QObject::connect(&voice, &SpeechVoice::StartStream, &voice, [this] { log += u'S'; });
        QObject::connect(&voice, &SpeechVoice::EndStream, &voice, [this] { log += u'E'; });
        QObject::connect(&voice, &SpeechVoice::Viseme, &voice, [this](int v) {
            visemes << v;
            visemeTimes << clock.elapsed();
        });
    }
    bool waitEnds(int n, int ms = 10000)
    {
        return testing_support::waitUntil([&] { return log.count(u'E') >= n; }, ms);
    }
};

// A 16-bit WAV file with a complete header; all zero otherwise.
struct Wav
{
    int rate = 0, channels = 0, peak = 0;
    double seconds = 0;
};

Wav ReadWav(const QString& path)
{
    const QByteArray b = testing_support::readFile(path);
    Wav w;
    if (b.size() < 44 || !b.startsWith("RIFF")
        || qFromLittleEndian<quint32>(b.constData() + 40) != quint32(b.size() - 44))
        return w;
    w.channels = qFromLittleEndian<quint16>(b.constData() + 22);
    w.rate = int(qFromLittleEndian<quint32>(b.constData() + 24));
    w.seconds = double(b.size() - 44) / 2 / std::max(1, w.rate * w.channels);
    for (qsizetype i = 44; i + 1 < b.size(); i += 2)
        w.peak = std::max(w.peak, std::abs(int(qFromLittleEndian<qint16>(b.constData() + i))));
    return w;
}

// A voice whose sound goes to WAV files or a silent real-time output of its own.
class SpeechVoiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        wavNumber = add(MakeWavFileOutput(tmp.file("0.wav")));
        silentNumber = add(MakeSilentOutput());
    }
    void TearDown() override
    {
        for (int n : numbers)
            AudioOutputs::instance().remove(n);
    }
    int add(std::unique_ptr<AudioOutput> out)
    {
        return numbers.emplace_back(AudioOutputs::instance().add(std::move(out)));
    }
    Wav wav(const QString& name = "0.wav") const { return ReadWav(tmp.file(name)); }

    testing_support::TempFolder tmp;
    QList<int> numbers;
    int wavNumber = -1, silentNumber = -1;
};

} // namespace

// A long text is cut where a listener would pause: after a sentence, a clause or a word.
TEST(SpeechTables, PiecesEndWhereSpeechPauses)
{
    const struct
    {
        QString text;
        qsizetype from, max, end;
    } pieces[] = {{"Short.", 0, 400, 6},
                  {"abc def", 4, 400, 7},
                  {"abc", 9, 400, 3},
                  {"One two. Three four, five six seven", 0, 20, 8}, // after the sentence
                  {"One two three, four five six seven", 0, 20, 14}, // after the clause
                  {"One two three four five six seven", 0, 20, 19}, // after a space
                  {QString(50, u'x'), 0, 20, 20}, // nowhere better than the limit
                  {QString(19, u'x') + QString::fromUtf16(u"😀") + "yyy", 0, 20, 19}, // not inside a pair
                  {QString::fromUtf16(u"你好。世界你好世界你好世界"), 0, 8, 3}};
    for (const auto& p : pieces)
        EXPECT_EQ(PieceEnd(p.text, p.from, p.max), p.end) << p.text.toStdString();
}

TEST_F(SpeechVoiceTest, ListsVoicesAndKeepsAStreamsFormatWhileChangesAreDisallowed)
{
    SpeechVoice voice;
    const QList<VoiceInfo> all = voice.GetVoices();
    EXPECT_EQ(all.value(voice.voice()).language, "409") << "American English speaks by default";
    EXPECT_EQ(all.value(0).name, "en-us") << "a new user's voice, the first in the list";

    EXPECT_EQ(voice.GetVoices("language=804").value(0).name, "cmn-latn-pinyin")
        << "the voice that reads pinyin comes first";
    ASSERT_TRUE(voice.setVoiceByAttributes("Language=804"));
    EXPECT_EQ(voice.GetVoices("language=409; name=English (America)").size(), 1);
    EXPECT_TRUE(voice.GetVoices("language=409;gender=female").isEmpty());
    EXPECT_FALSE(voice.setVoiceByAttributes("language=1") || voice.setVoice(-1) || voice.setVoice(int(all.size())));
    EXPECT_EQ(all.value(voice.voice()).name, "cmn-latn-pinyin") << "a failed choice keeps the voice";

    // a stream's format holds while changes are disallowed; without a stream, the voice's own
    voice.setAudioOutputStream(AudioOutputStream{wavNumber, SpeechVoice::kTelephoneFormat});
    voice.setAllowAudioOutputFormatChangesOnNextSet(false);
    voice.setAudioOutput(silentNumber);
    voice.setOutputFormat(36); // not a format: ignored
    EXPECT_EQ(std::pair(voice.audioOutput(), voice.outputFormat()), std::pair(silentNumber, 6));
    voice.setAllowAudioOutputFormatChangesOnNextSet(true);
    voice.setAudioOutput(wavNumber);
    EXPECT_EQ(voice.outputFormat(), SpeechVoice::kDefaultFormat);
    voice.setAudioOutputStream(AudioOutputStream{wavNumber, 6});
    voice.setAudioOutputStream(std::nullopt);
    EXPECT_EQ(std::pair(voice.audioOutput(), voice.outputFormat()), std::pair(0, int(SpeechVoice::kDefaultFormat)));
}

// Voices speak at once through the one engine, each to its own file in its stream's format.
TEST_F(SpeechVoiceTest, VoicesSpeakTogetherEachInItsStreamsFormat)
{
    const QString odd =
        QString(QChar(0)) + "\x01\x07\x1b\x1f ok" + QString::fromUtf16(u" \uFFFF \U0001F600 ") + QChar(0xD800) + " end";
    const struct
    {
        const char* voice;
        QString text;
        int format, rate, channels;
    } cases[] = {{"language=409", "Hello world, this is a test.", 6, 8000, 1},
                 {"language=804", "ni3 hao3, shi4 jie4. 你好世界。", 6, 8000, 1},
                 {"language=409", "Hello world, this is a test.", 9, 11025, 2},
                 {"language=409", odd, 6, 8000, 1}}; // spoken past the zero character
    SpeechVoice voices[4];
    std::deque<Recorder> recs;
    for (int i = 0; i < 4; ++i) {
        recs.emplace_back(voices[i]);
        ASSERT_TRUE(voices[i].setVoiceByAttributes(cases[i].voice));
        voices[i].setAudioOutputStream(
            AudioOutputStream{add(MakeWavFileOutput(tmp.file(QString("v%1.wav").arg(i)))), cases[i].format});
        voices[i].Speak(cases[i].text, SpeechVoice::Async);
        voices[i].Speak(cases[i].text, SpeechVoice::Async);
        EXPECT_TRUE(voices[i].isSpeaking() && recs[i].log.isEmpty()) << "nothing is raised from inside Speak";
    }
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(recs[i].waitEnds(2)) << i;
        EXPECT_EQ(recs[i].log, "SESE") << i;
        const Wav w = wav(QString("v%1.wav").arg(i));
        EXPECT_EQ(std::pair(w.rate, w.channels), std::pair(cases[i].rate, cases[i].channels)) << i;
        EXPECT_TRUE(w.seconds > 1.0 && w.seconds < 4.0) << w.seconds << " s from case " << i;
        EXPECT_GT(w.peak, 3000) << "speech is not silence";
    }
}

// The fastest rate shortens speech (every piece still spoken); every volume above 0 is heard,
// the lowest faintly, and 0 is silence.
TEST_F(SpeechVoiceTest, RateSetsTheLengthAndVolumeTheLoudness)
{
    const QString report =
        QString("The quarterly report is attached to this message, and it covers every region we serve. "
                "Please read the summary before the meeting on Thursday, because we will not go through "
                "it line by line. ")
            .repeated(3); // more than one piece
    const struct
    {
        int rate, volume, atLeast, below;
    } rows[] = {{0, 0, 0, 1}, {10, 1, 50, 1000}, {0, 100, 12000, 32768}};
    double seconds[2] = {};
    for (const auto& r : rows) {
        SpeechVoice voice;
        Recorder rec(voice);
        voice.setAudioOutputStream(AudioOutputStream{wavNumber, SpeechVoice::kTelephoneFormat});
        voice.setRate(r.rate);
        voice.setVolume(r.volume);
        voice.Speak(report);
        ASSERT_TRUE(rec.waitEnds(1)) << r.rate << "/" << r.volume;
        const Wav w = wav();
        seconds[r.rate ? 1 : 0] = w.seconds;
        EXPECT_TRUE(w.peak >= r.atLeast && w.peak < r.below) << "volume " << r.volume << ": peak " << w.peak;
    }
    ASSERT_GT(seconds[0], 25.0) << "every piece is spoken";
    EXPECT_TRUE(seconds[0] / seconds[1] > 2.2 && seconds[0] / seconds[1] < 3.8)
        << seconds[0] << " s against " << seconds[1] << " s";
}

TEST_F(SpeechVoiceTest, HugeTextIsSpokenWithVisemesAndAPurgeEndsItAtOnce)
{
    SpeechVoice voice;
    Recorder rec(voice);
    AudioOutput* silent = AudioOutputs::instance().output(silentNumber);
    voice.setAudioOutputStream(AudioOutputStream{silentNumber, SpeechVoice::kTelephoneFormat});
    const QString huge =
        "Hello there. " + QString::fromUtf16(u"Mail 郵件 письмо رسالة מכתב 12345 <b>&amp; \t").repeated(5000);
    voice.Speak(huge);
    // visemes come as the words are heard (the l of hello, the th of there), not when they are made
    ASSERT_TRUE(testing_support::waitUntil([&] { return rec.visemes.contains(14) && rec.visemes.contains(17); }, 5000));
    EXPECT_GT(rec.visemeTimes.last() - rec.visemeTimes.first(), 200);
    EXPECT_TRUE(std::all_of(rec.visemes.begin(), rec.visemes.end(), [](int v) { return v >= 0 && v <= 21; }));
    EXPECT_EQ(rec.log, "S");

    voice.Speak(QString()); // an empty text only purges
    EXPECT_FALSE(voice.isSpeaking());
    EXPECT_EQ(silent->writtenMicros(), silent->playedMicros()) << "what was made ahead is dropped";
    ASSERT_TRUE(rec.waitEnds(1, 2000));
    EXPECT_EQ(rec.log, "SE");

    // the next text starts afresh, here into a file; one that waits its turn and one that purges
    // both get a stream
    voice.setAudioOutputStream(AudioOutputStream{wavNumber, SpeechVoice::kTelephoneFormat});
    voice.Speak(huge, SpeechVoice::Async);
    voice.Speak("Hi.", SpeechVoice::Async);
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return AudioOutputs::instance().output(wavNumber)->writtenMicros() > 0; }, 5000));
    voice.Speak("Hi.", SpeechVoice::Async | SpeechVoice::PurgeBeforeSpeak);
    EXPECT_EQ(wav().rate, 8000) << "the file cut short is complete at once";
    ASSERT_TRUE(rec.waitEnds(4, 5000));
    EXPECT_EQ(rec.log, "SESESESE");
    EXPECT_TRUE(wav().seconds > 0.2 && wav().seconds < 2) << wav().seconds << " s of the last Hi";
}

// Without the engine's data nothing is spoken, but every Speak still opens and closes its
// stream. Runs in a child process, since the engine starts once per process.
TEST(SpeechVoiceWithoutEngine, SpeakStillRaisesStartAndEnd)
{
    if (qEnvironmentVariableIsSet("KORVALEN_SPEECH_CHILD")) {
        SpeechVoice voice;
        Recorder rec(voice);
        EXPECT_TRUE(InstalledVoices().isEmpty() && voice.voice() == -1);
        voice.Speak("Hello.");
        voice.Speak("Again.", SpeechVoice::Async);
        EXPECT_TRUE(rec.waitEnds(2, 3000));
        EXPECT_EQ(rec.log, "SESE");
        return;
    }
    testing_support::TempFolder empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVALEN_SPEECH_CHILD", "1");
    env.insert("ESPEAK_DATA_PATH", empty.path()); // a data folder with nothing in it
    const testing_support::ProgramRun child = testing_support::runProgram(
        QCoreApplication::applicationFilePath(), {"--gtest_filter=SpeechVoiceWithoutEngine.*"}, {}, env);
    EXPECT_TRUE(child.exitCode == 0 && child.out.contains("[  PASSED  ] 1 test"))
        << (child.out + child.err).toStdString();
}
