// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/NetCallAudio.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

bool NetCallAudio::start(int sampleRate, int channels)
{
    flush();
    takenSamples_ = writtenSamples_ = 0;
    if (sampleRate != kSampleRate || channels != 1) {
        error_ = QStringLiteral("The internet call takes 8000 Hz mono speech, not %1 Hz with %2 channels.")
                     .arg(sampleRate)
                     .arg(channels);
        return false;
    }
    error_.clear();
    return true;
}

qint64 NetCallAudio::write(const QByteArray& pcm)
{
    const qint64 room = kMaxQueuedBytes - (queue_.size() - head_);
    const qint64 n = std::min<qint64>(room, pcm.size()) & ~qint64(1);
    if (n <= 0)
        return 0;
    if (head_ > 0 && head_ == queue_.size()) {
        queue_.clear();
        head_ = 0;
    }
    queue_.append(pcm.constData(), n);
    writtenSamples_ += n / 2;
    return n;
}

void NetCallAudio::flush()
{
    takenSamples_ += (queue_.size() - head_) / 2; // what was dropped counts as heard
    queue_.clear();
    head_ = 0;
}

bool NetCallAudio::take(qint16* samples, int count)
{
    const qsizetype have = (queue_.size() - head_) / 2;
    const int n = int(std::min<qsizetype>(have, count));
    for (int i = 0; i < n; ++i)
        samples[i] = qFromLittleEndian<qint16>(queue_.constData() + head_ + 2 * i);
    std::fill(samples + n, samples + count, qint16(0));
    head_ += 2 * n;
    takenSamples_ += n;
    if (head_ > (1 << 16) && head_ * 2 > queue_.size()) { // keep the queue from growing forever
        queue_.remove(0, head_);
        head_ = 0;
    }
    return n > 0;
}
