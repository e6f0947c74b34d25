#include "platform/speech/SpeechVoice.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// What a voice raised, in order: "S" start, "E" end, "V" viseme.
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
            visemes.append(v);
            visemeTimes.append(clock.elapsed());
        });
    }
    qsizetype count(QChar c) const { return log.count(c); }
    bool waitEnds(int n, int ms = 10000) { return QTest::qWaitFor([&] { return count(u'E') >= n; }, ms); }
};

struct Wav
{
    int rate = 0, channels = 0;
    QList<qint16> samples;
    double seconds() const { return rate && channels ? double(samples.size()) / channels / rate : 0; }
    int peak() const
    {
        int p = 0;
        for (qint16 s : samples)
            p = std::max(p, std::abs(int(s)));
        return p;
    }
};

Wav ReadWav(const QString& path)
{
    QFile f(path);
    Wav w;
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray b = f.readAll();
    if (b.size() < 44 || !b.startsWith("RIFF") || qFromLittleEndian<quint32>(b.constData() + 40) != quint32(b.size() - 44))
        return w;
    w.channels = qFromLittleEndian<quint16>(b.constData() + 22);
    w.rate = int(qFromLittleEndian<quint32>(b.constData() + 24));
    for (qsizetype i = 44; i + 1 < b.size(); i += 2)
        w.samples.append(qFromLittleEndian<qint16>(b.constData() + i));
    return w;
}

// A voice whose sound goes to a WAV file or a silent real-time output of its own.
class SpeechVoiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (InstalledVoices().isEmpty())
            GTEST_SKIP() << "the speech engine's data is not installed";
        wavPath = tmp.file("speech.wav");
        wavNumber = AudioOutputs::instance().add(MakeWavFileOutput(wavPath));
        silentNumber = AudioOutputs::instance().add(MakeSilentOutput());
    }
    void TearDown() override
    {
        AudioOutputs::instance().remove(wavNumber);
        AudioOutputs::instance().remove(silentNumber);
    }
    AudioOutput* silent() const { return AudioOutputs::instance().output(silentNumber); }

    testing_support::TempFolder tmp;
    QString wavPath;
    int wavNumber = -1;
    int silentNumber = -1;
};

const char kLongText[] =
    "The quarterly report is attached to this message, and it covers every region we serve. "
    "Please read the summary before the meeting on Thursday, because we will not go through it "
    "line by line. ";

} // namespace

TEST(SpeechTables, FormatsRatesVisemesLanguagesAndPieces)
{
    const struct { int type, rate, channels, bits; } formats[] = {
        {4, 8000, 1, 8}, {5, 8000, 2, 8}, {6, 8000, 1, 16}, {7, 8000, 2, 16}, {8, 11025, 1, 8},
        {18, 16000, 1, 16}, {22, 22050, 1, 16}, {23, 22050, 2, 16}, {35, 44100, 2, 16}};
    for (const auto& f : formats) {
        const auto got = OutputFormatOf(f.type);
        ASSERT_TRUE(got) << f.type;
        EXPECT_EQ(got->sampleRate, f.rate) << f.type;
        EXPECT_EQ(got->channels, f.channels) << f.type;
        EXPECT_EQ(got->bits, f.bits) << f.type;
    }
    for (int bad : {-1, 0, 3, 36, 100})
        EXPECT_FALSE(OutputFormatOf(bad)) << bad;

    const struct { int rate, wpm, gap; } rates[] = {
        {-99, 80, 7}, {-10, 80, 7}, {-9, 80, 4}, {-8, 80, 2}, {-7, 81, 0}, {-5, 101, 0},
        {0, 175, 0}, {3, 243, 0}, {5, 303, 0}, {10, 525, 0}, {99, 525, 0}};
    for (const auto& r : rates) {
        EXPECT_EQ(WordsPerMinute(r.rate), r.wpm) << r.rate;
        EXPECT_EQ(WordGap(r.rate), r.gap) << r.rate;
    }

    const struct { const char16_t* phoneme; int viseme; } shapes[] = {
        {u"", 0}, {u"_", 0}, {u"ə", 1}, {u"ˈæ", 1}, {u"ɑː", 2}, {u"aɪ", 11}, {u"aʊ", 9}, {u"a", 2},
        {u"ɜː", 5}, {u"oʊ", 8}, {u"əʊ", 8}, {u"ɔɪ", 10}, {u"eɪ", 4}, {u"iː", 6}, {u"j", 6},
        {u"w", 7}, {u"χ", 12}, {u"ɹ", 13}, {u"l", 14}, {u"ts", 15}, {u"t", 19}, {u"tɕ", 16},
        {u"dʒ", 16}, {u"ð", 17}, {u"v", 18}, {u"ŋ", 20}, {u"m", 21}, {u"ˌpʰ", 21}};
    for (const auto& s : shapes)
        EXPECT_EQ(VisemeOfPhoneme(QStringView(s.phoneme)), s.viseme) << QString::fromUtf16(s.phoneme).toStdString();

    const struct { const char* code; const char* id; } languages[] = {
        {"en-us", "409"}, {"en", "409"}, {"en-gb-scotland", "809"}, {"cmn-latn-pinyin", "804"},
        {"cmn", "804"}, {"yue", "C04"}, {"de", "407"}, {"EN-US", "409"}, {"hak", ""}, {"", ""}};
    for (const auto& l : languages)
        EXPECT_EQ(LanguageIdOf(l.code), l.id) << l.code;

    const struct { QString text; qsizetype from, max, end; } pieces[] = {
        {"Short.", 0, 400, 6},
        {"One two. Three four, five six seven", 0, 20, 8},   // after the sentence
        {"One two three, four five six seven", 0, 20, 14},   // after the clause
        {"One two three four five six seven", 0, 20, 19},    // after a space
        {QString(50, u'x'), 0, 20, 20},                       // nowhere better than the limit
        {QString(19, u'x') + QString::fromUtf16(u"😀") + "yyy", 0, 20, 19}, // not inside a pair
        {QString::fromUtf16(u"你好。世界你好世界你好世界"), 0, 8, 3},
        {"abc def", 4, 400, 7}, {"abc", 9, 400, 3}};
    for (const auto& p : pieces)
        EXPECT_EQ(PieceEnd(p.text, p.from, p.max), p.end) << p.text.toStdString();
}

TEST_F(SpeechVoiceTest, ListsEnglishAndMandarinVoices)
{
    SpeechVoice voice;
    const QList<VoiceInfo> all = voice.GetVoices();
    EXPECT_EQ(all.size(), InstalledVoices().size());
    EXPECT_EQ(all.value(voice.voice()).language, "409") << "American English speaks by default";
    EXPECT_EQ(all.value(0).name, "en-us") << "a new user's voice, the first in the list";

    const QList<VoiceInfo> chinese = voice.GetVoices("language=804");
    ASSERT_FALSE(chinese.isEmpty());
    for (const VoiceInfo& v : chinese)
        EXPECT_TRUE(v.description.contains("Chinese")) << v.description.toStdString();
    EXPECT_EQ(chinese.first().name, "cmn-latn-pinyin") << "the voice that reads pinyin comes first";
    ASSERT_TRUE(voice.setVoiceByAttributes("Language=804"));
    EXPECT_EQ(all.value(voice.voice()).name, "cmn-latn-pinyin");

    EXPECT_EQ(voice.GetVoices("language=409; name=English (America)").size(), 1);
    EXPECT_TRUE(voice.GetVoices("language=409;gender=female").isEmpty());
    EXPECT_TRUE(voice.GetVoices("language=zz").isEmpty());
    EXPECT_FALSE(voice.setVoiceByAttributes("language=1"));
    EXPECT_FALSE(voice.setVoice(-1));
    EXPECT_FALSE(voice.setVoice(int(all.size())));
    EXPECT_EQ(all.value(voice.voice()).name, "cmn-latn-pinyin") << "a failed choice keeps the voice";
}

TEST_F(SpeechVoiceTest, SettingsAreClampedAndStreamsChooseFormats)
{
    SpeechVoice voice;
    const struct { int set, rate, volume; } clamps[] = {{-11, -10, 0}, {11, 10, 11}, {101, 10, 100}, {5, 5, 5}};
    for (const auto& c : clamps) {
        voice.setRate(c.set);
        voice.setVolume(c.set);
        EXPECT_EQ(voice.rate(), c.rate);
        EXPECT_EQ(voice.volume(), c.volume);
    }
    EXPECT_EQ(voice.outputFormat(), SpeechVoice::kDefaultFormat);
    voice.setOutputFormat(36);
    EXPECT_EQ(voice.outputFormat(), SpeechVoice::kDefaultFormat);
    voice.setAudioOutputStream(AudioOutputStream{wavNumber, SpeechVoice::kTelephoneFormat});
    EXPECT_EQ(voice.audioOutput(), wavNumber);
    EXPECT_EQ(voice.outputFormat(), 6);
    voice.setAllowAudioOutputFormatChangesOnNextSet(false);
    voice.setAudioOutput(silentNumber);
    EXPECT_EQ(voice.outputFormat(), 6) << "the stream keeps its format";
    voice.setAllowAudioOutputFormatChangesOnNextSet(true);
    voice.setAudioOutput(wavNumber);
    EXPECT_EQ(voice.outputFormat(), SpeechVoice::kDefaultFormat);
    voice.setAudioOutputStream(std::nullopt);
    EXPECT_EQ(voice.audioOutput(), 0);
    EXPECT_EQ(voice.outputFormat(), SpeechVoice::kDefaultFormat);
}

TEST_F(SpeechVoiceTest, SpeaksToAFileInTheStreamsFormat)
{
    const struct { const char* voice; const char* text; int format, rate, channels; } cases[] = {
        {"language=409", "Hello world, this is a test.", 6, 8000, 1},
        {"language=804", "ni3 hao3, shi4 jie4. 你好世界。", 6, 8000, 1},
        {"language=409", "Hello world, this is a test.", 35, 44100, 2},
        {"language=409", "Hello world, this is a test.", 22, 22050, 1}};
    for (const auto& c : cases) {
        SpeechVoice voice;
        Recorder rec(voice);
        ASSERT_TRUE(voice.setVoiceByAttributes(c.voice));
        voice.setAudioOutputStream(AudioOutputStream{wavNumber, c.format});
        voice.Speak(c.text);
        EXPECT_TRUE(voice.isSpeaking());
        EXPECT_EQ(rec.log, "") << "nothing is raised from inside Speak";
        ASSERT_TRUE(rec.waitEnds(1)) << c.text;
        EXPECT_EQ(rec.log, "SE");
        EXPECT_FALSE(voice.isSpeaking());
        const Wav wav = ReadWav(wavPath);
        EXPECT_EQ(wav.rate, c.rate);
        EXPECT_EQ(wav.channels, c.channels);
        EXPECT_GT(wav.seconds(), 1.0) << c.text;
        EXPECT_LT(wav.seconds(), 4.0) << c.text;
        EXPECT_GT(wav.peak(), 3000) << "speech is not silence";
    }
}

TEST_F(SpeechVoiceTest, RateChangesTheLengthOfSpeech)
{
    const QString text = "Please read the summary before the meeting on Thursday.";
    auto lengthAt = [&](int rate) {
        SpeechVoice voice;
        Recorder rec(voice);
        voice.setAudioOutputStream(AudioOutputStream{wavNumber, SpeechVoice::kTelephoneFormat});
        voice.setRate(rate);
        voice.Speak(text);
        EXPECT_TRUE(rec.waitEnds(1));
        return ReadWav(wavPath).seconds();
    };
    const double normal = lengthAt(0), fast = lengthAt(10), slow = lengthAt(-10);
    ASSERT_GT(normal, 1.0);
    EXPECT_GT(normal / fast, 2.2);
    EXPECT_LT(normal / fast, 3.8);
    EXPECT_GT(slow / normal, 1.8);
}

TEST_F(SpeechVoiceTest, PurgeEndsTheStreamAtOnce)
{
    SpeechVoice voice;
    Recorder rec(voice);
    voice.setAudioOutputStream(AudioOutputStream{silentNumber, SpeechVoice::kTelephoneFormat});
    QString text;
    for (int i = 0; i < 20; ++i)
        text += kLongText;
    voice.Speak(text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent()->writtenMicros() > 0; }, 5000));
    EXPECT_EQ(rec.log, "S");

    QElapsedTimer purge;
    purge.start();
    voice.Speak(QString()); // an empty text only purges
    EXPECT_FALSE(voice.isSpeaking());
    EXPECT_EQ(silent()->writtenMicros(), silent()->playedMicros()) << "what was made ahead is dropped";
    ASSERT_TRUE(rec.waitEnds(1, 2000));
    EXPECT_LT(purge.elapsed(), 300);
    EXPECT_EQ(rec.log, "SE");

    // the next text starts afresh; one that waits its turn and one that purges both get a stream
    voice.Speak(text, SpeechVoice::Async);
    voice.Speak("Hi.", SpeechVoice::Async);
    voice.Speak("Hi.", SpeechVoice::Async | SpeechVoice::PurgeBeforeSpeak);
    ASSERT_TRUE(rec.waitEnds(4, 5000));
    EXPECT_EQ(rec.log, "SESESESE");
    EXPECT_FALSE(voice.isSpeaking());
}

TEST_F(SpeechVoiceTest, VisemesFollowWhatIsHeard)
{
    SpeechVoice voice;
    Recorder rec(voice);
    voice.setAudioOutputStream(AudioOutputStream{silentNumber, SpeechVoice::kTelephoneFormat});
    voice.Speak("Hello there.");
    ASSERT_TRUE(rec.waitEnds(1, 5000));
    ASSERT_GE(rec.visemes.size(), 4);
    EXPECT_TRUE(std::all_of(rec.visemes.begin(), rec.visemes.end(), [](int v) { return v >= 0 && v <= 21; }));
    EXPECT_TRUE(rec.visemes.contains(14)) << "the l of hello";
    EXPECT_TRUE(rec.visemes.contains(17)) << "the th of there";
    // spread over the time the words take to hear, not all at once when they were made
    EXPECT_GT(rec.visemeTimes.last() - rec.visemeTimes.first(), 300);
    EXPECT_EQ(rec.log.front(), u'S');
    EXPECT_EQ(rec.log.back(), u'E');
}

TEST_F(SpeechVoiceTest, VoicesShareTheEngine)
{
    testing_support::TempFolder other;
    const int second = AudioOutputs::instance().add(MakeWavFileOutput(other.file("b.wav")));
    SpeechVoice english, chinese;
    Recorder a(english), b(chinese);
    english.setAudioOutputStream(AudioOutputStream{wavNumber, 6});
    chinese.setVoiceByAttributes("language=804");
    chinese.setAudioOutputStream(AudioOutputStream{second, 6});
    for (int i = 0; i < 3; ++i) {
        english.Speak(kLongText, SpeechVoice::Async);
        chinese.Speak(QString::fromUtf16(u"你好，世界。今天天气很好。"), SpeechVoice::Async);
    }
    EXPECT_TRUE(a.waitEnds(3));
    EXPECT_TRUE(b.waitEnds(3));
    EXPECT_EQ(a.log, "SESESE");
    EXPECT_EQ(b.log, "SESESE");
    EXPECT_GT(ReadWav(wavPath).seconds(), 5.0);
    EXPECT_GT(ReadWav(other.file("b.wav")).seconds(), 1.0);
    AudioOutputs::instance().remove(second);
}

TEST_F(SpeechVoiceTest, AnyTextIsSafeAndQuick)
{
    SpeechVoice voice;
    Recorder rec(voice);
    voice.setAudioOutputStream(AudioOutputStream{wavNumber, 6});
    QString controls;
    for (char16_t c = 0; c < 32; ++c)
        controls += QChar(c);
    controls += QString::fromUtf16(u"ok \uFFFF \U0001F600 مرحبا ") + QChar(0xD800) + "end";
    voice.Speak(controls);
    ASSERT_TRUE(rec.waitEnds(1));
    EXPECT_GT(ReadWav(wavPath).seconds(), 0.5) << "speech goes on past a zero character";

    QString mixed;
    while (mixed.size() < 200000)
        mixed += QString::fromUtf16(u"Mail 郵件 письмо رسالة מכתב 12345 <b>&amp; \t");
    QElapsedTimer t;
    t.start();
    voice.Speak(mixed);
    EXPECT_LT(t.elapsed(), 200) << "Speak returns at once";
    AudioOutput* wav = AudioOutputs::instance().output(wavNumber);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.log == "SES" && wav->writtenMicros() > 0; }, 5000));
    t.restart();
    voice.Speak(QString());
    ASSERT_TRUE(rec.waitEnds(2, 3000));
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_EQ(rec.log, "SESE");
    EXPECT_EQ(ReadWav(wavPath).rate, 8000) << "a purged file is still complete";
}

// Without the engine's data nothing is spoken, but every Speak still opens and closes its
// stream. Runs in a child process, since the engine starts once per process.
TEST(SpeechVoiceWithoutEngine, SpeakStillRaisesStartAndEnd)
{
    if (qEnvironmentVariableIsSet("KORVALEN_SPEECH_CHILD")) {
        EXPECT_TRUE(InstalledVoices().isEmpty());
        SpeechVoice voice;
        Recorder rec(voice);
        EXPECT_EQ(voice.voice(), -1);
        EXPECT_TRUE(voice.GetVoices("language=409").isEmpty());
        voice.Speak("Hello.");
        voice.Speak("Again.", SpeechVoice::Async);
        EXPECT_TRUE(rec.waitEnds(2, 3000));
        EXPECT_EQ(rec.log, "SESE");
        return;
    }
    testing_support::TempFolder empty;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVALEN_SPEECH_CHILD", "1");
    env.insert("ESPEAK_DATA_PATH", empty.path()); // a data folder with nothing in it
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SpeechVoiceWithoutEngine.*"});
    ASSERT_TRUE(child.waitForFinished(20000));
    const QByteArray out = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}
