// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/GsmWave.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <gsm.h>

namespace audio {

namespace {

gsm NewWav49State()
{
    gsm g = gsm_create();
    int on = 1;
    gsm_option(g, GSM_OPT_WAV49, &on); // alternating 32/33-byte frames, 65 bytes a pair
    return g;
}

void PutU16(QByteArray& b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}

void PutU32(QByteArray& b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

quint16 U16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 U32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

bool Refuse(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

GsmEncoder::GsmEncoder() : state_(NewWav49State()) { }
GsmEncoder::~GsmEncoder()
{
    gsm_destroy(state_);
}

void GsmEncoder::restart()
{
    gsm_destroy(state_);
    state_ = NewWav49State();
}

void GsmEncoder::encodeBlock(const qint16* samples, quint8* block)
{
    // The first frame takes 32 bytes and half of the 33rd, which the second frame completes.
    gsm_encode(state_, const_cast<gsm_signal*>(samples), block);
    gsm_encode(state_, const_cast<gsm_signal*>(samples + 160), block + 32);
}

GsmDecoder::GsmDecoder() : state_(NewWav49State()) { }
GsmDecoder::~GsmDecoder()
{
    gsm_destroy(state_);
}

void GsmDecoder::restart()
{
    gsm_destroy(state_);
    state_ = NewWav49State();
}

void GsmDecoder::decodeBlock(const quint8* block, qint16* samples)
{
    gsm_decode(state_, const_cast<gsm_byte*>(block), samples);
    gsm_decode(state_, const_cast<gsm_byte*>(block + 33), samples + 160);
}

QByteArray GsmEncode(const std::vector<qint16>& samples)
{
    GsmEncoder enc;
    const size_t blocks = (samples.size() + kGsmBlockSamples - 1) / kGsmBlockSamples;
    QByteArray out(qsizetype(blocks * kGsmBlockBytes), '\0');
    qint16 pcm[kGsmBlockSamples];
    for (size_t b = 0; b < blocks; ++b) {
        for (int i = 0; i < kGsmBlockSamples; ++i) {
            const size_t k = b * kGsmBlockSamples + i;
            pcm[i] = k < samples.size() ? samples[k] : 0;
        }
        enc.encodeBlock(pcm, reinterpret_cast<quint8*>(out.data()) + b * kGsmBlockBytes);
    }
    return out;
}

std::vector<qint16> GsmDecode(const QByteArray& blocks)
{
    GsmDecoder dec;
    const qsizetype n = blocks.size() / kGsmBlockBytes;
    std::vector<qint16> out(size_t(n) * kGsmBlockSamples);
    for (qsizetype b = 0; b < n; ++b)
        dec.decodeBlock(reinterpret_cast<const quint8*>(blocks.constData()) + b * kGsmBlockBytes,
                        out.data() + b * kGsmBlockSamples);
    return out;
}

QByteArray MakeGsmWave(const QByteArray& blocks, quint32 sampleCount)
{
    const WaveFormat f = StreamFormat();
    const quint32 dataSize = quint32(blocks.size());
    const quint32 pad = dataSize & 1;
    QByteArray b;
    b.append("RIFF");
    PutU32(b, 4 + (8 + 20) + (8 + 4) + (8 + dataSize + pad));
    b.append("WAVE");
    b.append("fmt ");
    PutU32(b, 20);
    PutU16(b, f.formatTag);
    PutU16(b, f.channels);
    PutU32(b, f.samplesPerSec);
    PutU32(b, f.avgBytesPerSec);
    PutU16(b, f.blockAlign);
    PutU16(b, f.bitsPerSample);
    PutU16(b, f.extraSize);
    PutU16(b, f.samplesPerBlock);
    b.append("fact");
    PutU32(b, 4);
    PutU32(b, sampleCount);
    b.append("data");
    PutU32(b, dataSize);
    b.append(blocks);
    if (pad)
        b.append('\0');
    return b;
}

bool WriteGsmWave(const QString& path, const std::vector<qint16>& samples, QString* error)
{
    const QByteArray bytes = MakeGsmWave(GsmEncode(samples), quint32(samples.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return Refuse(error, QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
    return true;
}

bool ParseGsmWave(const QByteArray& bytes, GsmWave* wave, QString* error)
{
    const char* p = bytes.constData();
    const qsizetype size = bytes.size();
    if (size < 12 || !bytes.startsWith("RIFF"))
        return Refuse(error, QStringLiteral("This is not a sound file (no RIFF header)."));
    if (bytes.mid(8, 4) != "WAVE")
        return Refuse(error, QStringLiteral("This RIFF file is not a wave sound file."));
    const qint64 riffEnd = 8 + qint64(U32(p + 4));
    if (riffEnd > size)
        return Refuse(error, QStringLiteral("The sound file is cut short (damaged)."));

    bool haveFormat = false, haveData = false, haveFact = false;
    WaveFormat f;
    quint16 extraSize = 0, samplesPerBlock = 0;
    GsmWave w;
    for (qint64 at = 12; at + 8 <= riffEnd;) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 len = U32(p + at + 4);
        const qint64 body = at + 8;
        if (body + len > riffEnd)
            return Refuse(error, QStringLiteral("The \"%1\" chunk of the sound file is cut short "
                                                "(damaged).")
                                     .arg(QString::fromLatin1(id).trimmed()));
        if (id == "fmt ") {
            if (len < 16)
                return Refuse(error, QStringLiteral("The sound file's format chunk is too short (damaged)."));
            f.formatTag = U16(p + body);
            f.channels = U16(p + body + 2);
            f.samplesPerSec = U32(p + body + 4);
            f.avgBytesPerSec = U32(p + body + 8);
            f.blockAlign = U16(p + body + 12);
            f.bitsPerSample = U16(p + body + 14);
            if (len >= 18)
                extraSize = U16(p + body + 16);
            if (len >= 18 && 18 + qint64(extraSize) > len)
                return Refuse(error,
                              QStringLiteral("The sound file's format chunk is shorter than it says (damaged)."));
            if (len >= 20 && extraSize >= 2)
                samplesPerBlock = U16(p + body + 18);
            f.extraSize = extraSize;
            f.samplesPerBlock = samplesPerBlock;
            haveFormat = true;
        } else if (id == "fact" && len >= 4) {
            w.sampleCount = U32(p + body);
            haveFact = true;
        } else if (id == "data") {
            w.data = bytes.mid(body, len);
            haveData = true;
        }
        at = body + len + (len & 1);
    }
    if (!haveFormat)
        return Refuse(error, QStringLiteral("The sound file has no format chunk (damaged)."));
    if (f.formatTag != kGsmFormatTag)
        return Refuse(
            error,
            QStringLiteral("The sound file is in format %1, not GSM 6.10 (%2).").arg(f.formatTag).arg(kGsmFormatTag));
    if (f.channels != 1)
        return Refuse(error, QStringLiteral("The sound file has %1 channels; it must be mono.").arg(f.channels));
    if (f.samplesPerSec != kGsmSampleRate)
        return Refuse(error, QStringLiteral("The sound file has %1 samples per second; it must have %2.")
                                 .arg(f.samplesPerSec)
                                 .arg(kGsmSampleRate));
    if (f.blockAlign != kGsmBlockBytes || samplesPerBlock != kGsmBlockSamples)
        return Refuse(error, QStringLiteral("The sound file's GSM blocks are not %1 bytes of %2 samples.")
                                 .arg(kGsmBlockBytes)
                                 .arg(kGsmBlockSamples));
    if (!haveData)
        return Refuse(error, QStringLiteral("The sound file has no sound data chunk (damaged)."));
    if (w.data.size() % kGsmBlockBytes != 0)
        return Refuse(error, QStringLiteral("The sound data is not whole GSM blocks (damaged)."));
    const quint32 blocks = quint32(w.data.size() / kGsmBlockBytes);
    if (!haveFact || w.sampleCount > blocks * kGsmBlockSamples)
        w.sampleCount = blocks * kGsmBlockSamples;
    w.format = f;
    if (wave)
        *wave = std::move(w);
    return true;
}

bool ReadGsmWave(const QString& path, GsmWave* wave, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refuse(error, QStringLiteral("Cannot open the sound file %1: %2").arg(path, file.errorString()));
    QString why;
    if (!ParseGsmWave(file.readAll(), wave, &why))
        return Refuse(error, QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), why));
    return true;
}

} // namespace audio
