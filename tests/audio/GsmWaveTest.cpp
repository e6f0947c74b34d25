#include "audio/ClsMemory.h"
#include "audio/GsmWave.h"

#include "TestSupport.h"
#include "audio/Tones.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace audio;

namespace {

QByteArray GoodWave(int samples = 3200)
{
    const auto tone = tones::Sine(1000, samples, 0.5);
    return MakeGsmWave(GsmEncode(tone), quint32(samples));
}

void PutU16(QByteArray& b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void PutU32(QByteArray& b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

// Bursts of sound in a file, found from the loudness of 10 ms slices.
int Bursts(const std::vector<qint16>& s)
{
    int bursts = 0;
    bool loud = false;
    for (size_t at = 0; at + 80 <= s.size(); at += 80) {
        const bool now = tones::Rms(s, at, 80) > 1000;
        bursts += now && !loud;
        loud = now;
    }
    return bursts;
}

} // namespace

TEST(GsmCodec, ToneKeepsItsFrequencyAndLevel)
{
    const auto tone = tones::Sine(1000, 8000, 0.5);
    const QByteArray blocks = GsmEncode(tone);
    ASSERT_EQ(blocks.size(), 25 * kGsmBlockBytes); // 8000 samples = 25 blocks of 320
    const auto back = GsmDecode(blocks);
    ASSERT_EQ(back.size(), tone.size());

    // Past the codec's first frames: the 1 kHz line dominates its neighbours.
    const size_t from = 800, n = 6400;
    const double p1000 = tones::Power(back, 1000, from, n);
    EXPECT_GT(p1000, 0.1); // amplitude above 0.32 of full scale (sent at 0.5)
    EXPECT_GT(p1000, 50 * tones::Power(back, 700, from, n));
    EXPECT_GT(p1000, 50 * tones::Power(back, 1300, from, n));
    EXPECT_NEAR(tones::Rms(back, from, n) / tones::Rms(tone, from, n), 1.0, 0.3);

    int crossings = 0;
    for (size_t i = from + 1; i < from + n; ++i)
        crossings += (back[i - 1] < 0) != (back[i] < 0);
    EXPECT_NEAR(crossings, 1600, 40); // 2 per cycle, 800 cycles in 0.8 s
}

TEST(GsmCodec, PartialInputIsPaddedAndBlocksDecodeOneByOne)
{
    const auto tone = tones::Sine(440, 700, 0.3);
    const QByteArray blocks = GsmEncode(tone);
    EXPECT_EQ(blocks.size(), 3 * kGsmBlockBytes);

    // Decoding block by block with one decoder equals decoding the whole stream.
    GsmDecoder dec;
    std::vector<qint16> one(3 * kGsmBlockSamples);
    for (int b = 0; b < 3; ++b)
        dec.decodeBlock(reinterpret_cast<const quint8*>(blocks.constData()) + b * kGsmBlockBytes,
                        one.data() + b * kGsmBlockSamples);
    EXPECT_EQ(one, GsmDecode(blocks));
    EXPECT_EQ(GsmDecode(blocks.left(100)).size(), size_t(kGsmBlockSamples)); // partial block ignored
}

TEST(GsmWaveFile, WrittenFileReadsBackInTheStreamFormat)
{
    testing_support::TempFolder dir;
    const auto tone = tones::Sine(1000, 1000, 0.5);
    QString error;
    ASSERT_TRUE(WriteGsmWave(dir.file("t.wav"), tone, &error)) << error.toStdString();

    QFile f(dir.file("t.wav"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // The header fields a sound player reads.
    EXPECT_EQ(bytes.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 4), quint32(bytes.size() - 8));
    EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 16), 20u);
    EXPECT_EQ(bytes.mid(20, 20), QByteArray::fromHex("3100" "0100" "401f0000" "59060000" "4100" "0000" "0200" "4001"));
    EXPECT_EQ(bytes.size() % 2, 0); // the odd-sized data chunk is padded

    GsmWave w;
    ASSERT_TRUE(ReadGsmWave(dir.file("t.wav"), &w, &error)) << error.toStdString();
    EXPECT_EQ(w.format, StreamFormat());
    EXPECT_EQ(w.sampleCount, 1000u);
    EXPECT_EQ(w.data, GsmEncode(tone));
}

TEST(GsmWaveFile, DamagedOrForeignFilesAreRefusedWithAReason)
{
    const QByteArray good = GoodWave();
    const int fmt = 20, dataSizeAt = 12 + 28 + 12 + 4;
    ASSERT_TRUE(ParseGsmWave(good, nullptr, nullptr));

    struct Case
    {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", QByteArray(), "not a sound file"});
    cases.push_back({"truncated", good.left(good.size() - 30), "cut short"});
    QByteArray b = good;
    b.replace(0, 4, "RIFX");
    cases.push_back({"not RIFF", b, "not a sound file"});
    b = good;
    b.replace(8, 4, "AVI ");
    cases.push_back({"not WAVE", b, "not a wave"});
    b = good;
    PutU16(b, fmt, 1);
    cases.push_back({"PCM tag", b, "format 1"});
    b = good;
    PutU16(b, fmt + 2, 2);
    cases.push_back({"stereo", b, "2 channels"});
    b = good;
    PutU32(b, fmt + 4, 11025);
    cases.push_back({"rate", b, "11025"});
    b = good;
    PutU16(b, fmt + 12, 64);
    cases.push_back({"block size", b, "65 bytes"});
    b = good;
    PutU32(b, dataSizeAt, quint32(good.size())); // data chunk runs past the end
    cases.push_back({"data size", b, "cut short"});
    cases.push_back({"partial block", MakeGsmWave(QByteArray(64, '\0'), 320), "whole GSM blocks"});
    b = good.left(12 + 28 + 12); // RIFF, fmt, fact; no data
    PutU32(b, 4, quint32(b.size() - 8));
    cases.push_back({"no data", b, "no sound data"});
    b = good;
    b.replace(12, 4, "junk");
    cases.push_back({"no fmt", b, "no format"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        GsmWave w;
        EXPECT_FALSE(ParseGsmWave(c.bytes, &w, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.says), Qt::CaseInsensitive)) << error.toStdString();
    }

    // Through a file the message names the file.
    testing_support::TempFolder dir;
    dir.write("bad.wav", good.left(40));
    QString error;
    EXPECT_FALSE(ReadGsmWave(dir.file("bad.wav"), nullptr, &error));
    EXPECT_TRUE(error.startsWith("bad.wav: ")) << error.toStdString();
    EXPECT_FALSE(ReadGsmWave(dir.file("missing.wav"), nullptr, &error));
    EXPECT_TRUE(error.contains("missing.wav")) << error.toStdString();
}

TEST(GsmWaveFile, UnknownChunksAreSkipped)
{
    QByteArray b = GoodWave(640);
    // A LIST chunk of odd length (with its pad byte) before the format chunk.
    b.insert(12, QByteArray("LIST\x03\0\0\0abc\0", 12));
    PutU32(b, 4, quint32(b.size() - 8));
    GsmWave w;
    QString error;
    EXPECT_TRUE(ParseGsmWave(b, &w, &error)) << error.toStdString();
    EXPECT_EQ(w.sampleCount, 640u);
}

TEST(ProgramSounds, EveryShippedSoundIsInTheStreamFormatAndSoundsAsMade)
{
    const QDir data(testing_support::sourceDir() + "/data");
    const QStringList files = data.entryList({"*.wav"}, QDir::Files, QDir::Name);
    for (const char* name : {"signon.wav", "signoff.wav", "1.wav", "2.wav", "3.wav", "ring1.wav", "ring2.wav"})
        EXPECT_TRUE(files.contains(QLatin1String(name))) << name;

    std::map<QString, std::vector<qint16>> sound;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        GsmWave w;
        QString error;
        ASSERT_TRUE(ReadGsmWave(data.filePath(name), &w, &error)) << error.toStdString();
        EXPECT_EQ(w.format, StreamFormat());
        EXPECT_GT(w.sampleCount, 800u); // at least 0.1 s
        EXPECT_LT(w.sampleCount, 8000u * 3);
        sound[name] = GsmDecode(w.data);
    }
    // Key prompts are told apart by their number of pips; rings by their cadence.
    EXPECT_EQ(Bursts(sound["1.wav"]), 1);
    EXPECT_EQ(Bursts(sound["2.wav"]), 2);
    EXPECT_EQ(Bursts(sound["3.wav"]), 3);
    EXPECT_EQ(Bursts(sound["ring1.wav"]), 1);
    EXPECT_EQ(Bursts(sound["ring2.wav"]), 2);
    EXPECT_GT(tones::Power(sound["ring1.wav"], 440, 800, 4000), 0.01);
    EXPECT_GT(tones::Power(sound["ring1.wav"], 480, 800, 4000), 0.01);
    // The sign-on chime rises (C then G), the sign-off falls.
    const auto& on = sound["signon.wav"];
    const auto& off = sound["signoff.wav"];
    EXPECT_GT(tones::Power(on, 523.25, 160, 1200), tones::Power(on, 783.99, 160, 1200));
    EXPECT_GT(tones::Power(on, 783.99, 1600, 1600), tones::Power(on, 523.25, 1600, 1600));
    EXPECT_GT(tones::Power(off, 783.99, 160, 1200), tones::Power(off, 523.25, 160, 1200));
}

TEST(ClsMemory, BlockIsZeroedLockedAndFreedOnce)
{
    const int live = ClsMemory::LiveBlocks();
    {
        ClsMemory m;
        EXPECT_EQ(m.MemHandle(), 0u);
        EXPECT_EQ(m.GLock(), nullptr);
        EXPECT_NE(m.GAlloc(100), 0u);
        EXPECT_EQ(m.GSize(), 100);
        EXPECT_EQ(m.MemPointer(), nullptr); // not locked yet
        char* p = m.GLock();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(m.MemPointer(), p);
        EXPECT_EQ(QByteArray(p, 100), QByteArray(100, '\0'));
        EXPECT_FALSE(m.GUnlock());
        EXPECT_EQ(ClsMemory::LiveBlocks(), live + 1);

        ClsMemory moved(std::move(m));
        EXPECT_EQ(m.MemHandle(), 0u);
        EXPECT_EQ(moved.GSize(), 100);
        EXPECT_TRUE(moved.GFree());
        EXPECT_FALSE(moved.GFree());
        EXPECT_EQ(ClsMemory::LiveBlocks(), live);
        moved.GAlloc(8); // freed by the destructor
    }
    EXPECT_EQ(ClsMemory::LiveBlocks(), live);
}

TEST(ClsMemory, MemoryStatusIsPlausible)
{
    MemoryStatus s;
    ASSERT_TRUE(ClsMemory::GetMemStat(&s));
    EXPECT_EQ(s.dwLength, sizeof(MemoryStatus));
    EXPECT_GT(s.dwTotalPhys, 16ull << 20);
    EXPECT_LE(s.dwAvailPhys, s.dwTotalPhys);
    EXPECT_LE(s.dwMemoryLoad, 100u);
    EXPECT_GE(s.dwTotalPageFile, s.dwTotalPhys);
    EXPECT_GE(s.dwAvailPageFile, s.dwAvailPhys);
    EXPECT_GT(s.dwAvailVirtual, 0ull);
    EXPECT_LT(s.dwAvailVirtual, s.dwTotalVirtual);
}
