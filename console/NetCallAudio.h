// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/sound/AudioOutput.h"

#include <QByteArray>
#include <QtGlobal>

// Speech for an internet caller: a voice writes 8 kHz mono PCM here, and the call takes it 320
// samples at a time, each time it sends a block. What the call has taken counts as heard, so
// speech events keep pace with the caller.
class NetCallAudio : public platform::AudioOutput
{
    Q_OBJECT
public:
    static constexpr int kSampleRate = 8000;
    static constexpr qint64 kMaxQueuedBytes = 60 * kSampleRate * 2; // a minute ahead is plenty

    QString description() const override { return QStringLiteral("Internet call"); }
    bool start(int sampleRate, int channels) override;
    qint64 write(const QByteArray& pcm) override;
    void flush() override;
    void stop() override { }
    qint64 playedMicros() const override { return takenSamples_ * 125; }
    qint64 writtenMicros() const override { return writtenSamples_ * 125; }
    QString errorString() const override { return error_; }

    // Fills count samples with what is queued, silence after it; true when any was speech.
    bool take(qint16* samples, int count);
    bool idle() const { return queue_.size() <= head_; }

private:
    QByteArray queue_;
    qsizetype head_ = 0;
    qint64 takenSamples_ = 0;
    qint64 writtenSamples_ = 0;
    QString error_;
};
