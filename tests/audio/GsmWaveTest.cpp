// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/GsmWave.h"

#include "TestSupport.h"
#include "audio/Tones.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace audio;

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
    EXPECT_GT(p1000, 50 * std::max(tones::Power(back, 700, from, n), tones::Power(back, 1300, from, n)));
    EXPECT_NEAR(tones::Rms(back, from, n) / tones::Rms(tone, from, n), 1.0, 0.3);
    // Samples are padded to whole blocks; a partial block is not decoded.
    EXPECT_EQ(GsmEncode(tones::Sine(440, 700, 0.3)).size(), 3 * kGsmBlockBytes);
    EXPECT_EQ(GsmDecode(blocks.left(100)).size(), size_t(kGsmBlockSamples));
}

TEST(GsmWaveFile, WrittenFileReadsBackInTheStreamFormat)
{
    testing_support::TempFolder dir;
    const auto tone = tones::Sine(1000, 1500, 0.5); // 5 blocks: an odd-sized data chunk
    QString error;
    ASSERT_TRUE(WriteGsmWave(dir.file("t.wav"), tone, &error)) << error.toStdString();
    GsmWave w;
    ASSERT_TRUE(ReadGsmWave(dir.file("t.wav"), &w, &error)) << error.toStdString();
    EXPECT_EQ(w.format, StreamFormat());
    EXPECT_EQ(w.sampleCount, 1500u);
    EXPECT_EQ(w.data, GsmEncode(tone));
    // The header fields a sound player reads, and the data chunk's pad byte.
    const QByteArray b = dir.read("t.wav");
    EXPECT_EQ(b.size(), 12 + 28 + 12 + 8 + 5 * 65 + 1);
    // GSM 6.10, mono, 8000 samples and 1625 bytes a second, 65-byte blocks of 320 samples
    EXPECT_EQ(b.left(40), "RIFF" + QByteArray::fromHex("7a010000") + "WAVEfmt "
                              + QByteArray::fromHex("1400000031000100401f0000590600004100000002004001"));
}

TEST(GsmWaveFile, DamagedOrForeignFilesAreRefusedWithAReason)
{
    // Offsets in a good file: format fields from 20, the data chunk's size at 56.
    const struct
    {
        const char* name;
        void (*change)(QByteArray&);
        const char* says;
    } cases[] = {
        {"good", [](QByteArray&) {}, nullptr},
        {"odd unknown chunk",
         [](QByteArray& b) {
             b.insert(12, QByteArray("LIST\x03\0\0\0abc\0", 12));
             qToLittleEndian<quint32>(quint32(b.size() - 8), b.data() + 4);
         },
         nullptr},
        {"empty", [](QByteArray& b) { b.clear(); }, "not a sound file"},
        {"truncated", [](QByteArray& b) { b.chop(30); }, "cut short"},
        {"not RIFF", [](QByteArray& b) { b.replace(0, 4, "RIFX"); }, "not a sound file"},
        {"not WAVE", [](QByteArray& b) { b.replace(8, 4, "AVI "); }, "not a wave"},
        {"no fmt", [](QByteArray& b) { b.replace(12, 4, "junk"); }, "no format"},
        {"PCM tag", [](QByteArray& b) { qToLittleEndian<quint16>(1, b.data() + 20); }, "format 1"},
        {"stereo", [](QByteArray& b) { qToLittleEndian<quint16>(2, b.data() + 22); }, "2 channels"},
        {"rate", [](QByteArray& b) { qToLittleEndian<quint32>(11025, b.data() + 24); }, "11025"},
        {"block size", [](QByteArray& b) { qToLittleEndian<quint16>(64, b.data() + 32); }, "65 bytes"},
        {"block samples", [](QByteArray& b) { qToLittleEndian<quint16>(160, b.data() + 38); }, "320 samples"},
        {"extra bytes beyond the format chunk", [](QByteArray& b) { qToLittleEndian<quint16>(0x8202, b.data() + 36); },
         "shorter than it says"},
        {"data size", [](QByteArray& b) { qToLittleEndian<quint32>(quint32(b.size()), b.data() + 56); }, "cut short"},
        {"partial block", [](QByteArray& b) { b = MakeGsmWave(QByteArray(64, '\0'), 320); }, "whole GSM blocks"},
        {"no data",
         [](QByteArray& b) {
             b.truncate(52);
             qToLittleEndian<quint32>(44, b.data() + 4);
         },
         "no sound data"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = MakeGsmWave(GsmEncode(tones::Sine(1000, 3200, 0.5)), 3200);
        c.change(bytes);
        QString error;
        GsmWave w;
        EXPECT_EQ(ParseGsmWave(bytes, &w, &error), !c.says) << error.toStdString();
        if (c.says)
            EXPECT_TRUE(error.contains(QLatin1String(c.says), Qt::CaseInsensitive)) << error.toStdString();
        else
            EXPECT_EQ(w.sampleCount, 3200u);
    }
}

TEST(ProgramSounds, EveryShippedSoundIsInTheStreamFormatAndSoundsAsMade)
{
    const QDir data(testing_support::sourceDir() + "/data");
    std::map<QString, std::vector<qint16>> sound;
    for (const QString& name : data.entryList({"*.wav"}, QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        GsmWave w;
        QString error;
        ASSERT_TRUE(ReadGsmWave(data.filePath(name), &w, &error)) << error.toStdString();
        EXPECT_EQ(w.format, StreamFormat());
        EXPECT_TRUE(w.sampleCount > 800u && w.sampleCount < 3 * 8000u) << w.sampleCount; // 0.1 to 3 s
        sound[name] = GsmDecode(w.data);
    }
    // Prompts are told apart by their pips (loud 10 ms slices after quiet ones), rings by cadence.
    auto bursts = [](const std::vector<qint16>& s) {
        int n = 0;
        for (size_t at = 0; at + 80 <= s.size(); at += 80)
            n += tones::Rms(s, at, 80) > 1000 && (at == 0 || tones::Rms(s, at - 80, 80) <= 1000);
        return n;
    };
    for (const auto& [name, count] :
         {std::pair("1.wav", 1), {"2.wav", 2}, {"3.wav", 3}, {"ring1.wav", 1}, {"ring2.wav", 2}})
        EXPECT_EQ(bursts(sound[name]), count) << name;
    EXPECT_GT(
        std::min(tones::Power(sound["ring1.wav"], 440, 800, 4000), tones::Power(sound["ring1.wav"], 480, 800, 4000)),
        0.01);
    // The sign-on chime rises (C then G), the sign-off falls.
    auto gOverC = [&](const char* name, size_t from, size_t n) {
        return tones::Power(sound[name], 783.99, from, n) - tones::Power(sound[name], 523.25, from, n);
    };
    EXPECT_TRUE(gOverC("signon.wav", 160, 1200) < 0 && gOverC("signon.wav", 1600, 1600) > 0
                && gOverC("signoff.wav", 160, 1200) > 0);
}
