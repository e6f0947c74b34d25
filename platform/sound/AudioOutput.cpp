// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"

#include "platform/sound/SoundCard.h"

#include <QFile>
#include <QIODevice>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <chrono>

namespace platform {

qint64 PcmMicros(qint64 bytes, int sampleRate, int channels)
{
    const qint64 frameBytes = qint64(kPcmBytesPerSample) * channels;
    if (sampleRate <= 0 || frameBytes <= 0)
        return 0;
    return bytes / frameBytes * 1000000 / sampleRate;
}

bool ValidPcmFormat(int sampleRate, int channels)
{
    return sampleRate >= 1000 && sampleRate <= 192000 && channels >= 1 && channels <= 2;
}

namespace {

qint64 NowMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---- WAV file ----

class WavFileOutput : public AudioOutput
{
public:
    explicit WavFileOutput(const QString& path) : file_(path) { }
    ~WavFileOutput() override { finish(); }

    QString description() const override { return QStringLiteral("WAV file %1").arg(file_.fileName()); }

    bool start(int sampleRate, int channels) override
    {
        finish();
        dataBytes_ = 0;
        if (!ValidPcmFormat(sampleRate, channels)) {
            error_ = QStringLiteral("Unsupported sound format %1 Hz, %2 channels.").arg(sampleRate).arg(channels);
            return false;
        }
        rate_ = sampleRate;
        channels_ = channels;
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = QStringLiteral("Cannot write %1: %2").arg(file_.fileName(), file_.errorString());
            return false;
        }
        error_.clear();
        writeHeader();
        return true;
    }

    qint64 write(const QByteArray& pcm) override
    {
        if (!file_.isOpen())
            return 0;
        // a RIFF size field is 32 bits wide
        const qint64 room = kMaxDataBytes - dataBytes_;
        const qint64 n = file_.write(pcm.constData(), std::min<qint64>(pcm.size(), room));
        if (n > 0)
            dataBytes_ += n;
        return std::max<qint64>(n, 0);
    }

    void flush() override { }
    void stop() override { finish(); }
    qint64 playedMicros() const override { return writtenMicros(); }
    qint64 writtenMicros() const override { return PcmMicros(dataBytes_, rate_, channels_); }
    QString errorString() const override { return error_; }

private:
    static constexpr qint64 kMaxDataBytes = 0xFFFFFFFFLL - 36;

    void writeHeader()
    {
        const QByteArray h = PcmWavHeader(rate_, channels_, dataBytes_);
        file_.seek(0);
        file_.write(h);
        file_.seek(44 + dataBytes_);
    }

    void finish()
    {
        if (!file_.isOpen())
            return;
        if (dataBytes_ % (qint64(channels_) * kPcmBytesPerSample)) { // a torn last sample is dropped
            dataBytes_ -= dataBytes_ % (qint64(channels_) * kPcmBytesPerSample);
            file_.resize(44 + dataBytes_);
        }
        writeHeader();
        file_.close();
    }

    QFile file_;
    QString error_;
    int rate_ = 22050;
    int channels_ = 1;
    qint64 dataBytes_ = 0;
};

// ---- silent, real time ----

class SilentOutput : public AudioOutput
{
public:
    QString description() const override { return QStringLiteral("Silent output"); }

    bool start(int sampleRate, int channels) override
    {
        if (!ValidPcmFormat(sampleRate, channels)) {
            error_ = QStringLiteral("Unsupported sound format %1 Hz, %2 channels.").arg(sampleRate).arg(channels);
            return false;
        }
        rate_ = sampleRate;
        channels_ = channels;
        started_ = true;
        writtenBytes_ = 0;
        anchorPlayed_ = 0;
        anchorTime_ = NowMicros();
        error_.clear();
        return true;
    }

    qint64 write(const QByteArray& pcm) override
    {
        if (!started_)
            return 0;
        settle();
        writtenBytes_ += pcm.size();
        return pcm.size();
    }

    void flush() override
    {
        settle();
        writtenBytes_ = bytesOf(anchorPlayed_);
        anchorPlayed_ = writtenMicros();
    }

    void stop() override { started_ = false; }

    // The play position runs with the clock but never past what was written: a gap in the
    // writing is a gap in the sound, not time made up later.
    qint64 playedMicros() const override
    {
        return std::min(writtenMicros(), anchorPlayed_ + (NowMicros() - anchorTime_));
    }
    qint64 writtenMicros() const override { return PcmMicros(writtenBytes_, rate_, channels_); }
    QString errorString() const override { return error_; }

private:
    void settle()
    {
        anchorPlayed_ = playedMicros();
        anchorTime_ = NowMicros();
    }
    qint64 bytesOf(qint64 micros) const { return micros * rate_ / 1000000 * channels_ * kPcmBytesPerSample; }

    QString error_;
    bool started_ = false;
    int rate_ = 22050;
    int channels_ = 1;
    qint64 writtenBytes_ = 0;
    qint64 anchorPlayed_ = 0;
    qint64 anchorTime_ = 0;
};

} // namespace

QByteArray PcmWavHeader(int sampleRate, int channels, qint64 dataBytes)
{
    const quint32 blockAlign = quint32(channels) * 2;
    QByteArray h;
    auto u32 = [&h](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        h.append(b, 4);
    };
    auto u16 = [&h](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        h.append(b, 2);
    };
    h.append("RIFF");
    u32(quint32(36 + dataBytes));
    h.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(quint16(channels));
    u32(quint32(sampleRate));
    u32(quint32(sampleRate) * blockAlign);
    u16(quint16(blockAlign));
    u16(16);
    h.append("data");
    u32(quint32(dataBytes));
    return h;
}

std::unique_ptr<AudioOutput> MakeWavFileOutput(const QString& path)
{
    return std::make_unique<WavFileOutput>(path);
}

std::unique_ptr<AudioOutput> MakeSilentOutput()
{
    return std::make_unique<SilentOutput>();
}

std::unique_ptr<AudioOutput> MakeDefaultOutput()
{
    const SoundCardParts* card = SoundCard();
    return card ? std::unique_ptr<AudioOutput>(card->newOutput()) : MakeSilentOutput();
}

// ---- registry ----

AudioOutputs& AudioOutputs::instance()
{
    static AudioOutputs outputs;
    return outputs;
}

AudioOutputs::AudioOutputs()
{
    entries_[0] = MakeDefaultOutput();
}

AudioOutputs::~AudioOutputs() = default;

QStringList AudioOutputs::descriptions() const
{
    QStringList list;
    for (const auto& [number, output] : entries_) {
        while (list.size() < number)
            list.append(QString());
        list.append(output->description());
    }
    return list;
}

AudioOutput* AudioOutputs::output(int number) const
{
    const auto it = entries_.find(number);
    return it == entries_.end() ? nullptr : it->second.get();
}

int AudioOutputs::add(std::unique_ptr<AudioOutput> output)
{
    if (!output)
        return -1;
    int number = 1;
    while (entries_.count(number))
        ++number;
    entries_[number] = std::move(output);
    return number;
}

void AudioOutputs::remove(int number)
{
    if (number != 0)
        entries_.erase(number);
}

} // namespace platform
