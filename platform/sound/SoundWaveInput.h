// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/sound/WaveDevice.h"

#include <QString>
#include <vector>

namespace platform {

// An input that records a given sound (a tone, or the samples of a WAV file) instead of a
// microphone, over and over, at real time or when moved by hand.
class SoundWaveInput : public SilentWaveInput
{
    Q_OBJECT
public:
    explicit SoundWaveInput(std::vector<qint16> sound, WavePace pace = WavePace::RealTime, QObject* parent = nullptr);
    QString description() const override { return QStringLiteral("Sound input"); }
    // Samples recorded so far.
    qint64 position() const { return position_; }

    // The samples of a 16-bit mono 8 kHz PCM WAV file; false (with error) for anything else.
    static bool ReadPcmWave(const QString& path, std::vector<qint16>* samples, QString* error);

protected:
    void record(qint16* samples, int n) override;

private:
    std::vector<qint16> sound_;
    qint64 position_ = 0;
};

} // namespace platform
