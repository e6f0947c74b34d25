// SPDX-License-Identifier: GPL-3.0-or-later
// How soon a caller hears the voice menu answer over the SIP line, with the mailbox on a local
// Dovecot POP3 server:
//   (a) from the "#" that ends a message number to the first RTP packet of that message's
//       summary (the key reaches the menu, the message is fetched over POP3, the summary is
//       spoken down the line);
//   (b) from a menu key to the first RTP packet of its answer;
//   (c) while a long mail is read (English, then Mandarin), from the "2" that reads it again to
//       the first RTP packet of the new reading. The new reading follows the old one without a
//       pause, so it is known by its sound: the start of its text as a voice like the call's says
//       it; runs where it is not recognised are counted apart. The first sound after two quiet
//       packets, the measure used before, is printed beside it: it finds the first pause in
//       whichever reading is heard, which is mostly the end of the new reading's first word.
//
//   korvalen-menu-bench [--runs N]
//
// sipp places the call; its SDP names a UDP port of this program, which sends the keys as
// RFC 4733 events and reads the line's RTP. The line, the call controller, the voice and the mail
// engine are wired as the main window wires them. Every key is pressed while the line is quiet,
// so the first packet with sound after it is its answer. Dovecot runs in a throwaway folder and
// stops when the benchmark ends.
#include "mail/StandaloneMail.h"
#include "mail/checkmailClass.h"
#include "platform/ProgramFolder.h"
#include "platform/speech/SpeechVoice.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "telephony/CallHost.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/FrmModem.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include "SipBenchSupport.h"

#include <thread>
#include <unistd.h>
#include <vector>

using telephony::ClsAudioControl;
using namespace bench;

namespace {

const QString kPeers = QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/");
const QString kPin = QStringLiteral("2468");

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(u' ', 0, 2) : QStringLiteral("?");
}

// The caller's telephone: its media end presses keys from a thread of its own while the event
// loop runs; a key's time is keyTime() once keySent().
class Handset : public MediaEnd
{
public:
    Handset() : MediaEnd(600) { }
    ~Handset()
    {
        if (sender_.joinable())
            sender_.join();
    }
    void press(QChar key)
    {
        if (sender_.joinable())
            sender_.join();
        sent_ = false;
        const int event = key == u'*' ? 10 : key == u'#' ? 11 : key.digitValue();
        sender_ = std::thread([this, event] {
            keyTime_ = sendKey(event);
            sent_ = true;
        });
    }
    bool keySent() const { return sent_; }
    Clock::time_point keyTime() const { return keyTime_; }

private:
    std::thread sender_;
    std::atomic_bool sent_{false};
    std::atomic<Clock::time_point> keyTime_{};
};

// A throwaway Dovecot with one user, stopped when it goes.
class Dovecot
{
public:
    bool start(const QStringList& mails)
    {
        // Dovecot's own users must reach the mailbox inside.
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                                               | QFile::ExeOther);
        for (int attempt = 0; attempt < 3 && !port; ++attempt) {
            const quint16 p = FreePort(SOCK_STREAM);
            if (run({"start", folder(), QString::number(p), QStringLiteral("caller:secret")}))
                port = p;
        }
        return port && run(QStringList{"fill", folder(), "caller"} + mails);
    }
    ~Dovecot()
    {
        if (port)
            run({"stop", folder()});
    }

    quint16 port = 0;

private:
    QString folder() const { return dir_.filePath(QStringLiteral("pop3")); }
    static bool run(const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral("bash"), QStringList{kPeers + "pop3-server"} + args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir dir_;
};

// What the main window gives the call controller: it answers, and the one voice speaks.
struct Host : telephony::CallHost
{
    platform::SpeechVoice* voice = nullptr;
    bool mayAnswer() const override { return true; }
    bool signedIn() const override { return true; }
    void showCallStatus(const QString&) override { }
    int hangupTime() const override { return 60; }
    platform::SpeechVoice* callVoice() const override { return voice; }
    platform::SpeechVoice* idleVoice() const override { return voice; }
};

struct Figures
{
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    QString text() const
    {
        if (ms.empty())
            return QStringLiteral("no runs");
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return QStringLiteral("median %1 ms, min %2 ms, max %3 ms over %4 runs")
            .arg(v[v.size() / 2], 0, 'f', 1)
            .arg(v.front(), 0, 'f', 1)
            .arg(v.back(), 0, 'f', 1)
            .arg(v.size());
    }
    double median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
};

QString Repeated(const QString& sentence, int bytes)
{
    QString s;
    while (s.toUtf8().size() + sentence.toUtf8().size() <= bytes)
        s += sentence;
    return s;
}

// A plain UTF-8 mail with that subject and body; returns its path.
QString WriteMail(const QString& path, const QString& subject, const QString& body)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(("From: Alice <alice@example.com>\r\nTo: caller@example.com\r\nSubject: " + subject
                 + "\r\nDate: Sun, 6 Dec 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                 + body + "\r\n")
                    .toUtf8());
    return path;
}

// The first second of a text as the voice says it down the line (at 8 kHz, without the silence
// the line skips), after a packet of silence: rendered by a voice like it into a WAV file.
std::vector<qint16> StartOf(const QString& text, const platform::SpeechVoice& like, const QString& path)
{
    platform::AudioOutputs& outputs = platform::AudioOutputs::instance();
    const int number = outputs.add(platform::MakeWavFileOutput(path));
    {
        platform::SpeechVoice voice;
        voice.setVoice(like.voice());
        voice.setRate(like.rate());
        voice.setVolume(like.volume());
        voice.setAudioOutputStream(platform::AudioOutputStream{number, platform::SpeechVoice::kTelephoneFormat});
        bool ended = false;
        QObject::connect(&voice, &platform::SpeechVoice::EndStream, [&] { ended = true; });
        voice.Speak(text);
        RunUntil([&] { return ended; }, 20000);
    }
    outputs.remove(number);
    QFile f(path);
    const QByteArray wav = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    std::vector<qint16> start(80, 0);
    for (qsizetype at = 44; at + 2 <= wav.size() && start.size() < 80 + 8000; at += 2) {
        const qint16 s = qFromLittleEndian<qint16>(wav.constData() + at);
        if (start.size() > 80 || std::abs(int(s)) >= 64) // the line's test for leading silence
            start.push_back(s);
    }
    return start.size() > 80 ? start : std::vector<qint16>{};
}

int Fail(const char* what)
{
    std::fprintf(stderr, "korvalen-menu-bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 20;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i)
        if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
    if (platform::InstalledVoices().isEmpty())
        return Fail("the speech engine's data is not installed");
    std::printf("load average at the start: %s\n", qPrintable(LoadAverage()));

    Dovecot dovecot;
    QTemporaryDir mailDir;
    const QString english = WriteMail(mailDir.filePath("english.eml"), "The quarterly report",
                                      Repeated("The quarterly report is attached, and it covers every region we "
                                               "serve. Please read the summary before the meeting on Thursday. ",
                                               2048));
    const QString mandarin = WriteMail(mailDir.filePath("mandarin.eml"), "Report",
                                       Repeated(QString::fromUtf16(u"本季度报告已附在此邮件中，涵盖我们服务的每一个地"
                                                                   u"区。请在星期四开会之前阅读摘要。"),
                                                1024));
    if (!dovecot.start({kPeers + "../fixtures/mailbox/01-plain.eml", kPeers + "../fixtures/mailbox/06-alternative.eml",
                        english, mandarin}))
        return Fail("Dovecot did not start (scripts/install-deps installs it)");
    QTemporaryDir programFolder;
    platform::SetProgramFolderOverride(programFolder.path());

    // The mail engine with the controls the main window lends it, as the program runs it.
    FixedMailHost mailHost;
    MailControls controls(1000);
    checkmailClass engine;
    controls.lendTo(engine, mailHost);
    engine.ServerName = QStringLiteral("127.0.0.1");
    engine.ServerPort = dovecot.port;
    engine.UserName = QStringLiteral("caller");
    engine.Password = QStringLiteral("secret");
    engine.PinCode = kPin;
    auto engineIdle = [&] { return engine.MyStatus() == 0 && !engine.SessionRunning(); };
    int finishes = 0;
    QObject::connect(&engine, &checkmailClass::CheckmailFinish, [&](int32_t) { ++finishes; });
    engine.CheckMail(checkmailClass::FirstCheck);
    if (!RunUntil([&] { return finishes > 0 && engineIdle(); }, 20000) || controls.list.rowCount() != 4)
        return Fail("the first check did not list the four mails");

    // The line, the modem form, the call controller and the voice.
    platform::SipLineConfig direct;
    direct.kind = platform::SipLineConfig::Kind::Direct;
    direct.port = FreePort(SOCK_DGRAM);
    platform::LineDeviceTable table;
    table.addBackend(std::make_unique<platform::SipLine>(QList{direct}));
    telephony::FrmModem modem{[&] { return std::make_unique<platform::ModemControl>(table); }};
    if (modem.InitModem(0, true) != QStringLiteral("Voice Modem"))
        return Fail("the SIP line did not open");
    platform::SpeechVoice voice;
    Host host;
    host.voice = &voice;
    QTimer tick;
    tick.setInterval(1000);
    ClsAudioControl audio;
    audio.ModemPhone(&modem);
    audio.timercontrol(&tick);
    audio.setHost(&host);
    audio.AutoAnswer = true;
    audio.RingsToAnswer = 1;
    engine.SetAudioControl(&audio);

    // The main window's wiring, and the moments on the way from a key to speech.
    Clock::time_point keyAtMenu{}, fetched{}, handedToVoice{};
    QString firstSaid; // the first text handed to the voice after a key
    QObject::connect(&audio, &ClsAudioControl::IncomingPhone, &engine, [&] { engine.CallStarted(true); });
    QObject::connect(&audio, &ClsAudioControl::DigitReceived, &engine, [&](const QString& key) {
        keyAtMenu = Clock::now();
        engine.DigitReceived(key);
    });
    QObject::connect(&audio, &ClsAudioControl::SpeakRemain, &engine, &checkmailClass::TTSRemain);
    QObject::connect(&audio, &ClsAudioControl::Saying, &audio, [&](const QString& t) {
        if (firstSaid.isEmpty())
            firstSaid = t;
        if (handedToVoice == Clock::time_point{})
            handedToVoice = Clock::now();
    });
    QObject::connect(&audio, &ClsAudioControl::VoiceConnected, &voice, [&](int32_t kind, int32_t device) {
        if (kind == ClsAudioControl::ModemLine)
            voice.setAudioOutputStream(platform::AudioOutputStream{device, platform::SpeechVoice::kTelephoneFormat});
    });
    QObject::connect(&audio, &ClsAudioControl::VoiceDisCon, &voice,
                     [&](int32_t) { voice.setAudioOutputStream(std::nullopt); });
    QObject::connect(&engine, &checkmailClass::CheckmailFinish, &engine, [&](int32_t mode) {
        if (mode != checkmailClass::FetchOne)
            return;
        fetched = Clock::now();
        engine.ReadFetchedMessage();
    });

    Handset handset;
    handset.start();
    QTemporaryDir sippDir;
    QProcess sipp;
    sipp.setWorkingDirectory(sippDir.path());
    sipp.setStandardOutputFile(QProcess::nullDevice());
    sipp.setStandardErrorFile(QProcess::nullDevice());
    sipp.start(QStringLiteral("sipp"),
               {QStringLiteral("-sf"), kPeers + "sip/caller-own-media.xml", QStringLiteral("-i"),
                QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(FreePort(SOCK_DGRAM)),
                QStringLiteral("-nostdin"), QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-s"),
                QStringLiteral("korvalen"), QStringLiteral("-key"), QStringLiteral("from"),
                QStringLiteral("<sip:5551234@127.0.0.1>"), QStringLiteral("-key"), QStringLiteral("rtp_port"),
                QString::number(handset.port), QStringLiteral("127.0.0.1:%1").arg(direct.port)});
    const auto quiet = [&] { return audio.isDonePlay() && engineIdle() && handset.silentFor(200); };
    const auto press = [&](QChar key) {
        handset.press(key);
        return RunUntil([&] { return handset.keySent(); }, 2000);
    };
    // Presses a key on a quiet line; the time from the key to the first packet with sound, or -1.
    const auto timed = [&](QChar key) -> double {
        if (!RunUntil(quiet, 15000))
            return -1;
        keyAtMenu = fetched = handedToVoice = {};
        if (!press(key))
            return -1;
        const Clock::time_point sent = handset.keyTime();
        std::optional<Clock::time_point> sound;
        if (!RunUntil([&] { return (sound = handset.firstSoundAfter(sent)).has_value(); }, 5000))
            return -1;
        return Ms(*sound - sent);
    };

    if (!sipp.waitForStarted(5000)
        || !RunUntil([&] { return audio.getStatus() == ClsAudioControl::WaitingForPin && handset.hearsTheLine(); },
                     15000))
        return Fail("the call did not come up");
    for (QChar k : kPin + u'#')
        if (!RunUntil(quiet, 15000) || !press(k))
            return Fail("the PIN could not be keyed");
    if (!RunUntil([&] { return audio.getStatus() == ClsAudioControl::MenuSpeech; }, 5000))
        return Fail("the PIN was not taken");

    // (a) "1#": message 1 is fetched and its summary spoken; "5" (a check for new mail, with a
    // short answer) leads back to the number prompt for the next run.
    Figures toSummary, toKey, toFetched, toVoice;
    for (int i = 0; i < runs; ++i) {
        if (!RunUntil(quiet, 15000) || !press(u'1'))
            return Fail("the line did not become quiet before a message number");
        const double ms = timed(u'#');
        if (ms < 0 || audio.getStatus() != ClsAudioControl::ReadingPieces)
            return Fail("no summary was heard after a message number");
        toSummary.add(ms);
        const Clock::time_point sent = handset.keyTime();
        toKey.add(Ms(keyAtMenu - sent));
        toFetched.add(Ms(fetched - sent));
        toVoice.add(Ms(handedToVoice - sent));
        if (!press(u'5') || !RunUntil([&] { return audio.getStatus() == ClsAudioControl::MenuSpeech; }, 5000))
            return Fail("\"5\" did not lead back to the number prompt");
    }

    // (c) "3#" or "4#" starts a long mail; once it is heard, "2" reads its body again. The new
    // reading is the first packet after the key that starts the sound of the body's text. "5" leads
    // back to the number prompt.
    std::vector<qint16> startOfReading[2]; // English, Mandarin
    int unrecognised = 0;
    Figures whileEnglish, whileMandarin, quietEnglish, quietMandarin, whileToKey, whileToVoice;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool chinese = i % 2;
        voice.setVoiceByAttributes(chinese ? QStringLiteral("language=804") : QStringLiteral("language=409"));
        if (!RunUntil(quiet, 15000) || !press(chinese ? u'4' : u'3') || !RunUntil(quiet, 15000) || !press(u'#'))
            return Fail("a long mail could not be chosen");
        const Clock::time_point chosen = handset.keyTime();
        if (!RunUntil([&] { return handset.firstSoundAfter(chosen).has_value(); }, 5000)
            || !RunUntil([&] { return handset.loudFor(300); }, 10000))
            return Fail("the long mail was not read");
        keyAtMenu = handedToVoice = {};
        firstSaid.clear();
        if (!press(u'2'))
            return Fail("\"2\" could not be keyed");
        const Clock::time_point sent = handset.keyTime();
        std::optional<Clock::time_point> sound, reading;
        if (!RunUntil([&] { return (sound = handset.firstSoundAfterQuiet(sent, 2)).has_value(); }, 5000))
            return Fail("the mail was not read again after \"2\"");
        // the new reading is looked for once its start has surely been heard; looking meanwhile
        // would take the event loop's time from the program
        RunUntil([&] { return Clock::now() - sent > std::chrono::milliseconds(500); }, 1000);
        std::vector<qint16>& start = startOfReading[chinese];
        if (start.empty())
            start = StartOf(firstSaid, voice, mailDir.filePath(QStringLiteral("start.wav")));
        // a run whose new reading is not recognised, or is recognised before it was even handed to
        // the voice, is counted apart
        if (!start.empty() && (reading = handset.firstPacketOf(start, sent)) && *reading >= handedToVoice)
            (chinese ? whileMandarin : whileEnglish).add(Ms(*reading - sent));
        else
            ++unrecognised;
        (chinese ? quietMandarin : quietEnglish).add(Ms(*sound - sent));
        whileToKey.add(Ms(keyAtMenu - sent));
        whileToVoice.add(Ms(handedToVoice - sent));
        if (!press(u'5') || !RunUntil([&] { return audio.getStatus() == ClsAudioControl::MenuSpeech; }, 5000))
            return Fail("\"5\" did not lead back to the number prompt");
    }
    voice.setVoiceByAttributes(QStringLiteral("language=409"));

    // (b) menu keys: "*" leaves the number prompt for the menu, whose other keys say it again.
    Figures toAnswer, menuToKey, menuToVoice;
    for (int i = 0; i < runs; ++i) {
        const QChar key = i == 0 ? u'*' : QChar(u'2' + i % 8);
        const double ms = timed(key);
        if (ms < 0 || audio.getStatus() != ClsAudioControl::MenuRepeating) {
            std::fprintf(stderr, "key %c: %.1f ms, status %d\n", char(key.unicode()), ms, int(audio.getStatus()));
            return Fail("no answer was heard after a menu key");
        }
        toAnswer.add(ms);
        const Clock::time_point sent = handset.keyTime();
        menuToKey.add(Ms(keyAtMenu - sent));
        menuToVoice.add(Ms(handedToVoice - sent));
    }

    if (!RunUntil(quiet, 15000) || !press(u'#')
        || !RunUntil([&] { return audio.getStatus() == ClsAudioControl::Idle; }, 10000))
        std::fprintf(stderr, "korvalen-menu-bench: the call did not end after \"#\"\n");
    sipp.waitForFinished(5000);
    if (sipp.state() != QProcess::NotRunning) {
        sipp.kill();
        sipp.waitForFinished(3000);
    }

    std::printf("\"#\" of a message number to the first speech packet of its summary: %s\n",
                qPrintable(toSummary.text()));
    std::printf("  the key at the menu after a median %.1f ms, the message fetched over POP3 after %.1f ms,\n"
                "  its summary handed to the voice after %.1f ms\n",
                toKey.median(), toFetched.median(), toVoice.median());
    std::printf("menu key to the first speech packet of its answer: %s\n", qPrintable(toAnswer.text()));
    std::printf("  the key at the menu after a median %.1f ms, the answer handed to the voice after %.1f ms\n",
                menuToKey.median(), menuToVoice.median());
    std::printf("\"2\" while a long mail is read to the first packet of the new reading, English: %s\n",
                qPrintable(whileEnglish.text()));
    std::printf("  the same, Mandarin: %s\n", qPrintable(whileMandarin.text()));
    std::printf("  the key at the menu after a median %.1f ms, the new reading handed to the voice after %.1f ms;\n"
                "  runs whose new reading was not recognised by its sound: %d\n",
                whileToKey.median(), whileToVoice.median(), unrecognised);
    std::printf("  the first sound after two quiet packets (the measure used before): English %s;\n"
                "  Mandarin %s\n",
                qPrintable(quietEnglish.text()), qPrintable(quietMandarin.text()));
    std::printf("load average at the end: %s\n", qPrintable(LoadAverage()));
    return 0;
}
