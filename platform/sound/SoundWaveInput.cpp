// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/SoundWaveInput.h"

#include <QFile>
#include <QtEndian>
#include <cstring>

namespace platform {

SoundWaveInput::SoundWaveInput(std::vector<qint16> sound, WavePace pace, QObject* parent)
    : SilentWaveInput(pace, parent), sound_(std::move(sound))
{ }

void SoundWaveInput::record(qint16* samples, int n)
{
    if (sound_.empty()) {
        std::memset(samples, 0, size_t(n) * sizeof(qint16));
        return;
    }
    for (int i = 0; i < n; ++i)
        samples[i] = sound_[size_t((position_ + i) % qint64(sound_.size()))];
    position_ += n;
}

bool SoundWaveInput::ReadPcmWave(const QString& path, std::vector<qint16>* samples, QString* error)
{
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The sound file %1 cannot be read: %2").arg(path, f.errorString()));
    constexpr qint64 kMaxBytes = 64 * 1024 * 1024; // a test sound, not an album
    const QByteArray b = f.read(kMaxBytes);
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE")
        return fail(QStringLiteral("%1 is not a WAV file.").arg(path));
    bool formatOk = false;
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const QByteArray id = b.mid(at, 4);
        const qint64 size = qFromLittleEndian<quint32>(b.constData() + at + 4);
        const qsizetype body = at + 8;
        if (size > b.size() - body && id != "data")
            break;
        if (id == "fmt " && size >= 16) {
            const char* p = b.constData() + body;
            formatOk = qFromLittleEndian<quint16>(p) == 1 && qFromLittleEndian<quint16>(p + 2) == 1
                       && qFromLittleEndian<quint32>(p + 4) == quint32(kWaveSampleRate)
                       && qFromLittleEndian<quint16>(p + 14) == 16;
        } else if (id == "data") {
            if (!formatOk)
                break;
            const qint64 n = std::min<qint64>(size, b.size() - body) / 2;
            samples->resize(size_t(n));
            for (qint64 i = 0; i < n; ++i)
                (*samples)[size_t(i)] = qint16(qFromLittleEndian<quint16>(b.constData() + body + 2 * i));
            return true;
        }
        at = body + size + (size & 1);
    }
    return fail(QStringLiteral("%1 is not 16-bit mono PCM at 8000 Hz.").arg(path));
}

} // namespace platform
