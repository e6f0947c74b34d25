// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QFile>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <chrono>

namespace platform {

namespace {

constexpr int kBytesPerSample = 2; // outputs take 16-bit PCM only

qint64 MicrosOf(qint64 bytes, int sampleRate, int channels)
{
    const qint64 frameBytes = qint64(kBytesPerSample) * channels;
    if (sampleRate <= 0 || frameBytes <= 0)
        return 0;
    return bytes / frameBytes * 1000000 / sampleRate;
}

bool ValidFormat(int sampleRate, int channels)
{
    return sampleRate >= 1000 && sampleRate <= 192000 && channels >= 1 && channels <= 2;
}

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
        if (!ValidFormat(sampleRate, channels)) {
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
    qint64 writtenMicros() const override { return MicrosOf(dataBytes_, rate_, channels_); }
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
        if (dataBytes_ % (qint64(channels_) * kBytesPerSample)) { // a torn last sample is dropped
            dataBytes_ -= dataBytes_ % (qint64(channels_) * kBytesPerSample);
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
        if (!ValidFormat(sampleRate, channels)) {
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
    qint64 writtenMicros() const override { return MicrosOf(writtenBytes_, rate_, channels_); }
    QString errorString() const override { return error_; }

private:
    void settle()
    {
        anchorPlayed_ = playedMicros();
        anchorTime_ = NowMicros();
    }
    qint64 bytesOf(qint64 micros) const { return micros * rate_ / 1000000 * channels_ * kBytesPerSample; }

    QString error_;
    bool started_ = false;
    int rate_ = 22050;
    int channels_ = 1;
    qint64 writtenBytes_ = 0;
    qint64 anchorPlayed_ = 0;
    qint64 anchorTime_ = 0;
};

// ---- sound card ----

// The sound card through Qt Multimedia. The sink takes only what fits its buffer, so the rest
// waits here and a timer feeds it. Without a device a stream goes to a silent output instead.
class DefaultOutput : public AudioOutput
{
public:
    DefaultOutput()
    {
        feedTimer_.setInterval(10);
        QObject::connect(&feedTimer_, &QTimer::timeout, this, [this] { feed(); });
    }
    ~DefaultOutput() override { closeSink(); }

    QString description() const override
    {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        return device.isNull() ? QStringLiteral("Default sound output") : device.description();
    }

    bool start(int sampleRate, int channels) override
    {
        closeSink();
        silent_.reset();
        pending_.clear();
        writtenBytes_ = 0;
        flushedMicros_ = 0;
        stopping_ = false;
        if (!ValidFormat(sampleRate, channels)) {
            error_ = QStringLiteral("Unsupported sound format %1 Hz, %2 channels.").arg(sampleRate).arg(channels);
            return false;
        }
        rate_ = sampleRate;
        channels_ = channels;
        error_.clear();

        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (!device.isNull()) {
            QAudioFormat format;
            format.setSampleRate(sampleRate);
            format.setChannelCount(channels);
            format.setSampleFormat(QAudioFormat::Int16);
            sink_ = new QAudioSink(device, format, this);
            io_ = sink_->start();
            // without a usable device start() returns at once, stopped, with an error and no signal
            if (!io_ || sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState)
                closeSink();
        }
        if (!sink_) {
            silent_ = MakeSilentOutput();
            return silent_->start(sampleRate, channels);
        }
        feedTimer_.start();
        return true;
    }

    qint64 write(const QByteArray& pcm) override
    {
        if (silent_)
            return silent_->write(pcm);
        if (!sink_)
            return 0;
        pending_.append(pcm);
        writtenBytes_ += pcm.size();
        feed();
        return pcm.size();
    }

    void flush() override
    {
        if (silent_)
            return silent_->flush();
        if (!sink_)
            return;
        pending_.clear();
        const qint64 heard = playedMicros();
        // the sink's own buffer is dropped by starting it afresh
        const QAudioFormat format = sink_->format();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        closeSink();
        sink_ = new QAudioSink(device, format, this);
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            closeSink();
            silent_ = MakeSilentOutput();
            silent_->start(rate_, channels_);
            return;
        }
        flushedMicros_ = heard;
        writtenBytes_ = heard * rate_ / 1000000 * channels_ * kBytesPerSample;
        feedTimer_.start();
    }

    void stop() override
    {
        if (silent_)
            return silent_->stop();
        stopping_ = true;
        feed();
    }

    qint64 playedMicros() const override
    {
        if (silent_)
            return silent_->playedMicros();
        if (!sink_)
            return writtenMicros();
        if (pending_.isEmpty() && sink_->state() == QAudio::IdleState)
            return writtenMicros(); // the sink ran dry: all of it was heard
        return std::min(writtenMicros(), flushedMicros_ + sink_->processedUSecs());
    }

    qint64 writtenMicros() const override
    {
        return silent_ ? silent_->writtenMicros() : MicrosOf(writtenBytes_, rate_, channels_);
    }

    QString errorString() const override { return silent_ ? silent_->errorString() : error_; }

private:
    void feed()
    {
        if (!sink_ || !io_)
            return;
        while (!pending_.isEmpty()) {
            const qint64 room = sink_->bytesFree();
            if (room <= 0)
                break;
            const qint64 n = io_->write(pending_.constData(), std::min<qint64>(room, pending_.size()));
            if (n <= 0)
                break;
            pending_.remove(0, n);
        }
        if (stopping_ && pending_.isEmpty() && sink_->state() != QAudio::ActiveState)
            closeSink();
    }

    void closeSink()
    {
        feedTimer_.stop();
        if (sink_) {
            sink_->stop();
            delete sink_;
        }
        sink_ = nullptr;
        io_ = nullptr;
    }

    QTimer feedTimer_;
    QAudioSink* sink_ = nullptr;
    QIODevice* io_ = nullptr;
    std::unique_ptr<AudioOutput> silent_;
    QByteArray pending_;
    QString error_;
    int rate_ = 22050;
    int channels_ = 1;
    qint64 writtenBytes_ = 0;
    qint64 flushedMicros_ = 0;
    bool stopping_ = false;
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
    return std::make_unique<DefaultOutput>();
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
