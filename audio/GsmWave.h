// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

struct gsm_state;

namespace audio {

// The internet call's sound: GSM 6.10 in 65-byte blocks, each two frames of 160 samples,
// 320 samples or 40 ms at 8 kHz mono. Sound files the call plays use the same format.
constexpr int kGsmBlockBytes = 65;
constexpr int kGsmBlockSamples = 320;
constexpr int kGsmSampleRate = 8000;
constexpr int kGsmFormatTag = 49;

// The format fields of a sound file (with the two extra bytes GSM adds).
struct WaveFormat
{
    quint16 formatTag = kGsmFormatTag;
    quint16 channels = 1;
    quint32 samplesPerSec = kGsmSampleRate;
    quint32 avgBytesPerSec = 1625;
    quint16 blockAlign = kGsmBlockBytes;
    quint16 bitsPerSample = 0;
    quint16 extraSize = 2;
    quint16 samplesPerBlock = kGsmBlockSamples;

    bool operator==(const WaveFormat&) const = default;
};

// The format both directions of the call and every sound file use.
inline WaveFormat StreamFormat()
{
    return WaveFormat{};
}

// Turns 320 samples into one block; keeps the state of a continuing stream.
class GsmEncoder
{
public:
    GsmEncoder();
    ~GsmEncoder();
    GsmEncoder(const GsmEncoder&) = delete;
    GsmEncoder& operator=(const GsmEncoder&) = delete;

    void encodeBlock(const qint16* samples, quint8* block);
    // Starts a new stream.
    void restart();

private:
    gsm_state* state_;
};

// Turns one block back into 320 samples.
class GsmDecoder
{
public:
    GsmDecoder();
    ~GsmDecoder();
    GsmDecoder(const GsmDecoder&) = delete;
    GsmDecoder& operator=(const GsmDecoder&) = delete;

    void decodeBlock(const quint8* block, qint16* samples);
    void restart();

private:
    gsm_state* state_;
};

// Whole streams: the samples are padded with silence to whole blocks.
QByteArray GsmEncode(const std::vector<qint16>& samples);
// Decodes whole blocks; a partial block at the end is ignored.
std::vector<qint16> GsmDecode(const QByteArray& blocks);

// A GSM sound file read into memory.
struct GsmWave
{
    WaveFormat format;
    QByteArray data; // whole 65-byte blocks
    quint32 sampleCount = 0; // from the "fact" chunk, otherwise 320 per block
};

// The bytes of a sound file in the stream format holding these blocks.
QByteArray MakeGsmWave(const QByteArray& blocks, quint32 sampleCount);
bool WriteGsmWave(const QString& path, const std::vector<qint16>& samples, QString* error);

// Checks the RIFF, WAVE, "fmt " and "data" chunks and the format; on refusal the error
// says what is wrong in a sentence.
bool ParseGsmWave(const QByteArray& bytes, GsmWave* wave, QString* error);
bool ReadGsmWave(const QString& path, GsmWave* wave, QString* error);

} // namespace audio
