// SPDX-License-Identifier: GPL-3.0-or-later
// The small readers of files a user may edit or replace; the first byte picks one (modulo 5):
//   0 the profile-string reader behind the captions file: values stay within their size and on
//     their line, and text after any garbage still reads;
//   1 the settings store: a value saved into any file reads back as itself;
//   2 the spam lists: every entry the writer accepts reads back unchanged;
//   3 the GSM sound-file reader: what it accepts is whole blocks in the stream format, and
//     writes back to the same blocks;
//   4 the scripted line's script: a script it refuses runs nothing, one it takes reports digits
//     only during a call.
#include "FakeSocket.h"
#include "FuzzSupport.h"
#include "audio/GsmWave.h"
#include "mail/SpamList.h"
#include "platform/ProfileString.h"
#include "platform/SettingsStore.h"
#include "platform/telephone/ScriptedLine.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QString folderFile(const QString& name)
{
    static QTemporaryDir folder(QStringLiteral("/dev/shm/fuzz-files-XXXXXX"));
    return folder.filePath(name);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Other capitals for the same name (the ASCII letters alone: other scripts fold in more ways).
QString asciiUpper(QString name)
{
    for (QChar& c : name)
        if (c >= 'a' && c <= 'z')
            c = QChar(c.unicode() - 'a' + 'A');
    return name;
}

void profile(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    // names to look up: the first section and the first keys of the text itself
    QString section = QStringLiteral("EMain");
    QStringList keys{QStringLiteral("Caption")};
    for (const QString& line : text.split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith('[') && t.contains(']') && section == QLatin1String("EMain"))
            section = t.mid(1, t.indexOf(']') - 1);
        else if (t.indexOf('=') > 0 && keys.size() < 4)
            keys << t.left(t.indexOf('='));
    }
    for (const QString& key : keys) {
        for (int size : {2, 199, 32767}) {
            const QString value = platform::ProfileStringIn(bytes, section, key, QStringLiteral("none"), size);
            if (value.size() > size - 1)
                fuzz::Fail("a profile string is longer than its buffer", value.size(), size - 1);
            if (value.contains('\n'))
                fuzz::Fail("a profile string runs over its line", value.indexOf('\n'), 0);
            if (value
                != platform::ProfileStringIn(bytes, asciiUpper(section), asciiUpper(key), QStringLiteral("none"), size))
                fuzz::Fail("a profile string depends on the capitals of its names", value.size(), size);
        }
    }
    // whatever came before, a section of its own on its own lines reads
    for (const char* end : {"\n", "\r\n"}) {
        const QByteArray more = bytes + end + "[Fuzz Check]" + end + " Key = \" v a l \" " + end;
        const QString value = platform::ProfileStringIn(more, QStringLiteral("fuzz check"), QStringLiteral("KEY"), {});
        if (value != QLatin1String(" v a l ") && !text.toCaseFolded().contains(QLatin1String("fuzz check")))
            fuzz::Fail("a section after odd lines does not read", value.size(), 7);
    }
}

void settings(const QByteArray& bytes)
{
    const QString path = folderFile(QStringLiteral("settings.ini"));
    QFile::remove(path);
    // the file as the user left it, then the value to save: split at the first NUL
    const qsizetype cut = bytes.indexOf('\0');
    const QByteArray file = cut < 0 ? bytes : bytes.left(cut);
    const QString value = cut < 0 ? QString() : QString::fromUtf8(bytes.mid(cut + 1));
    if (!writeFile(path, file))
        return;
    platform::SettingsStore store(path);
    fuzz::Keep(fuzz::Touch(store.GetSetting(QStringLiteral("PopServer"), QStringLiteral("none"))));
    if (!store.SaveSetting(QStringLiteral("popserver"), value))
        return; // a damaged file is refused with a message, and left alone
    const QString back = platform::SettingsStore(path).GetSetting(QStringLiteral("PopServer"), QStringLiteral("none"));
    if (back != value)
        fuzz::Fail("a saved setting reads back otherwise", back.size(), value.size());
}

void spamList(const QByteArray& bytes)
{
    const QString path = folderFile(QStringLiteral("spam.txt"));
    if (!writeFile(path, bytes))
        return;
    const QStringList read = spam::ReadListFile(path);
    for (const QString& entry : read)
        if (entry.contains('\n'))
            fuzz::Fail("a spam entry holds a line break", entry.indexOf('\n'), 0);
    // entries from the text itself, as a user may type them in the list window
    const QStringList typed = QString::fromUtf8(bytes).split('|');
    for (const QStringList& entries : {read, typed}) {
        QString error;
        if (!spam::WriteListFile(path, entries, &error)) {
            if (error.isEmpty())
                fuzz::Fail("a refused spam list has no reason", entries.size(), 0);
            continue;
        }
        if (spam::ReadListFile(path) != entries)
            fuzz::Fail("a written spam list reads back otherwise", spam::ReadListFile(path).size(), entries.size());
    }
}

void soundFile(const QByteArray& bytes)
{
    audio::GsmWave wave;
    QString error;
    if (!audio::ParseGsmWave(bytes, &wave, &error)) {
        if (error.isEmpty())
            fuzz::Fail("a refused sound file has no reason", bytes.size(), 0);
        return;
    }
    // the fields a player goes by are the stream's; the extra bytes lie inside the file
    audio::WaveFormat f = wave.format, stream = audio::StreamFormat();
    if (f.extraSize < 2 || 12 + 8 + 18 + qint64(f.extraSize) > bytes.size())
        fuzz::Fail("an accepted sound file's format reaches beyond the file", f.extraSize, bytes.size());
    f.avgBytesPerSec = stream.avgBytesPerSec;
    f.bitsPerSample = stream.bitsPerSample;
    f.extraSize = stream.extraSize;
    if (wave.data.size() % audio::kGsmBlockBytes != 0 || !(f == stream))
        fuzz::Fail("an accepted sound file is not whole GSM blocks", wave.data.size(), audio::kGsmBlockBytes);
    const qint64 blocks = wave.data.size() / audio::kGsmBlockBytes;
    if (wave.sampleCount > blocks * audio::kGsmBlockSamples)
        fuzz::Fail("a sound file counts more samples than it holds", wave.sampleCount,
                   blocks * audio::kGsmBlockSamples);
    audio::GsmWave again;
    if (!audio::ParseGsmWave(audio::MakeGsmWave(wave.data, wave.sampleCount), &again, &error) || again.data != wave.data
        || again.sampleCount != wave.sampleCount)
        fuzz::Fail("a sound file written back reads otherwise", again.data.size(), wave.data.size());
    fuzz::Keep(unsigned(audio::GsmDecode(wave.data.left(4 * audio::kGsmBlockBytes)).size()));
}

void lineScript(const QByteArray& bytes)
{
    platform::ScriptedLine line;
    line.OpenDevice(0, true, false);
    int reports = 0;
    bool inCall = false;
    QObject::connect(&line, &platform::VoiceModem::PhoneConnected, [&](int32_t device, int32_t) {
        ++reports;
        inCall = true;
        if (device != line.audioDevice())
            fuzz::Fail("a connected call names another audio output", device, line.audioDevice());
    });
    QObject::connect(&line, &platform::VoiceModem::Disconnected, [&] {
        ++reports;
        inCall = false;
    });
    QObject::connect(&line, &platform::VoiceModem::DigitReceived, [&](const QString&) {
        ++reports;
        if (!inCall)
            fuzz::Fail("a digit came outside a call", reports, 0);
    });
    QObject::connect(&line, &platform::VoiceModem::IncomingCall, [&](int32_t) { ++reports; });
    QObject::connect(&line, &platform::VoiceModem::CallerID,
                     [&](const QString&, const QString&, int32_t) { ++reports; });
    QObject::connect(&line, &platform::VoiceModem::Error, [&](int32_t, const QString&) { ++reports; });

    QString problem;
    const bool taken = line.play(QString::fromUtf8(bytes), &problem);
    if (!taken && !problem.startsWith(QLatin1String("line ")))
        fuzz::Fail("a refused script does not say which line", problem.size(), 0);
    // the steps without a wait run on the next turns of the event loop
    for (int i = 0; i < 64; ++i)
        QCoreApplication::processEvents();
    if (!taken && reports != 0)
        fuzz::Fail("a refused script ran", reports, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::PickSystem(data[0] >> 4 & 3);
    const QByteArray bytes = fuzz::Bytes(data + 1, size - 1);
    switch (data[0] % 5) {
    case 0: profile(bytes); break;
    case 1: settings(bytes); break;
    case 2: spamList(bytes); break;
    case 3: soundFile(bytes); break;
    case 4: lineScript(bytes); break;
    }
    return 0;
}
