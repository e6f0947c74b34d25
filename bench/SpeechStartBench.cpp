// SPDX-License-Identifier: GPL-3.0-or-later
// How soon speech starts: from Speak() to the first samples handed to the output, for short and
// long English and Mandarin texts, against the speech engine's own first chunk for the same text
// (the engine called directly, the way the voice calls it, stopped after that chunk).
//
//   korvalen-speech-bench [--rounds N] [--repeat N]
//
// Each round runs ours and the engine alone in child processes of their own, one after the
// other, so both see the same load; each child times every text --repeat times and reports its
// median. The figures are the medians over the rounds.
#include "platform/sound/AudioOutput.h"
#include "platform/speech/SpeechVoice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <espeak-ng/speak_lib.h>
#include <map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Text
{
    const char* name;
    const char* voice; // the engine's voice name
    const char* attributes; // the same voice chosen the program's way
    QString text;
};

QString Repeated(const QString& sentence, int bytes)
{
    QString s;
    while (s.toUtf8().size() + sentence.toUtf8().size() <= bytes)
        s += sentence;
    return s;
}

std::vector<Text> Texts()
{
    const QString english = QStringLiteral(
        "The quarterly report is attached to this message, and it covers every region we serve. Please read "
        "the summary before the meeting on Thursday. ");
    const QString mandarin =
        QString::fromUtf16(u"本季度报告已附在此邮件中，涵盖我们服务的每一个地区。请在星期四开会之前阅读摘要。");
    return {{"English, short", "en-us", "language=409", QStringLiteral("You have three new messages.")},
            {"English, 2 KB", "en-us", "language=409", Repeated(english, 2048)},
            {"Mandarin, short", "cmn-latn-pinyin", "language=804", QString::fromUtf16(u"你有三封新邮件。")},
            {"Mandarin, 1 KB", "cmn-latn-pinyin", "language=804", Repeated(mandarin, 1024)}};
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// An output that notes when the first samples arrive and never plays them.
class FirstWrite : public platform::AudioOutput
{
public:
    QString description() const override { return QStringLiteral("first write"); }
    bool start(int, int) override { return true; }
    qint64 write(const QByteArray& pcm) override
    {
        if (!pcm.isEmpty() && first == Clock::time_point{})
            first = Clock::now();
        return pcm.size();
    }
    void flush() override { }
    void stop() override { }
    qint64 playedMicros() const override { return 0; }
    qint64 writtenMicros() const override { return 0; }
    Clock::time_point first{};
};

// Ours: Speak() to the first samples at the output, at the telephone's rate.
int RunOurs(int repeat)
{
    auto owned = std::make_unique<FirstWrite>();
    FirstWrite* out = owned.get();
    const int number = platform::AudioOutputs::instance().add(std::move(owned));
    platform::SpeechVoice voice;
    voice.setAudioOutputStream(platform::AudioOutputStream{number, platform::SpeechVoice::kTelephoneFormat});
    for (const Text& t : Texts()) {
        voice.setVoiceByAttributes(QString::fromLatin1(t.attributes));
        std::vector<double> ms;
        for (int i = -1; i < repeat; ++i) { // the first is a warm-up
            out->first = {};
            const Clock::time_point asked = Clock::now();
            voice.Speak(t.text);
            QElapsedTimer limit;
            limit.start();
            while (out->first == Clock::time_point{} && limit.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (out->first == Clock::time_point{})
                return 1;
            if (i >= 0)
                ms.push_back(Ms(out->first - asked));
            voice.Speak(QString()); // purge
        }
        std::printf("%s\t%.3f\n", t.name, Median(ms));
    }
    return 0;
}

// The engine alone: espeak_Synth to its first chunk of sound.
Clock::time_point firstChunk{};
int OnFirstChunk(short* wav, int count, espeak_EVENT*)
{
    if (wav && count > 0 && firstChunk == Clock::time_point{})
        firstChunk = Clock::now();
    return firstChunk == Clock::time_point{} ? 0 : 1;
}

int RunEngine(int repeat)
{
    if (espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr,
                          espeakINITIALIZE_DONT_EXIT | espeakINITIALIZE_PHONEME_EVENTS | espeakINITIALIZE_PHONEME_IPA)
        <= 0)
        return 1;
    espeak_SetSynthCallback(OnFirstChunk);
    std::map<QByteArray, QByteArray> ids; // voice name -> identifier
    for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v && *v; ++v) {
        const QByteArray id((*v)->identifier);
        ids[id.mid(id.lastIndexOf('/') + 1).toLower()] = id;
    }
    for (const Text& t : Texts()) {
        espeak_SetVoiceByName(ids[t.voice].constData());
        const QByteArray text = t.text.toUtf8();
        std::vector<double> ms;
        for (int i = -1; i < repeat; ++i) {
            firstChunk = {};
            const Clock::time_point asked = Clock::now();
            espeak_Synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                         espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, nullptr);
            if (i >= 0)
                ms.push_back(Ms(firstChunk - asked));
        }
        std::printf("%s\t%.3f\n", t.name, Median(ms));
    }
    espeak_Terminate();
    return 0;
}

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(u' ', 0, 2) : QStringLiteral("?");
}

// One child's figures per text, or none when it failed.
std::map<QString, double> RunChild(const QString& mode, int repeat)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {mode, QStringLiteral("--repeat"), QString::number(repeat)});
    std::map<QString, double> got;
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return got;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
        if (const qsizetype tab = line.indexOf('\t'); tab > 0)
            got[QString::fromUtf8(line.left(tab))] = line.mid(tab + 1).toDouble();
    return got;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int rounds = 7, repeat = 9;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--rounds")
            rounds = std::max(1, args[i + 1].toInt());
        if (args[i] == u"--repeat")
            repeat = std::max(1, args[i + 1].toInt());
    }
    if (args.contains(QStringLiteral("--ours")))
        return RunOurs(repeat);
    if (args.contains(QStringLiteral("--engine")))
        return RunEngine(repeat);

    if (platform::InstalledVoices().isEmpty()) {
        std::fprintf(stderr, "korvalen-speech-bench: the speech engine's data is not installed\n");
        return 1;
    }
    std::printf("load average at the start: %s\n", qPrintable(LoadAverage()));
    std::map<QString, std::vector<double>> ours, engine;
    for (int r = 0; r < rounds; ++r) {
        for (const auto& [mode, into] : {std::pair(QStringLiteral("--ours"), &ours), {"--engine", &engine}}) {
            const auto got = RunChild(mode, repeat);
            if (got.empty()) {
                std::fprintf(stderr, "korvalen-speech-bench: %s failed\n", qPrintable(mode));
                return 1;
            }
            for (const auto& [name, ms] : got)
                (*into)[name].push_back(ms);
        }
    }
    std::printf("Speak() to the first samples, median over %d rounds of %d (the engine's own first chunk beside)\n",
                rounds, repeat);
    for (const Text& t : Texts()) {
        const QString name = QString::fromLatin1(t.name);
        const double a = Median(ours[name]), b = Median(engine[name]);
        std::printf("  %-16s ours %7.2f ms   engine %7.2f ms   ours - engine %6.2f ms\n", t.name, a, b, a - b);
    }
    std::printf("load average at the end: %s\n", qPrintable(LoadAverage()));
    return 0;
}
