// SPDX-License-Identifier: GPL-3.0-or-later
// The sound card through Qt Multimedia, as a module the program loads when sound first goes to
// or comes from the card.
#include "platform/sound/SoundCard.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace platform {

namespace {

QAudioFormat CallFormat()
{
    QAudioFormat f;
    f.setSampleRate(kWaveSampleRate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

QString AudioErrorText(QAudio::Error e)
{
    switch (e) {
    case QAudio::NoError: return {};
    case QAudio::OpenError: return QStringLiteral("The sound device could not be opened.");
    case QAudio::IOError: return QStringLiteral("The sound device stopped reading or writing.");
    case QAudio::UnderrunError: return QStringLiteral("The sound device ran out of data.");
    case QAudio::FatalError: return QStringLiteral("The sound device failed.");
    }
    return QStringLiteral("The sound device failed.");
}

// The sound card through Qt Multimedia. The sink takes only what fits its buffer, so the rest
// waits here and a timer feeds it. Without a device a stream goes to a silent output instead.
class CardAudioOutput : public AudioOutput
{
public:
    CardAudioOutput()
    {
        feedTimer_.setInterval(10);
        QObject::connect(&feedTimer_, &QTimer::timeout, this, [this] { feed(); });
    }
    ~CardAudioOutput() override { closeSink(); }

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
        if (!ValidPcmFormat(sampleRate, channels)) {
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
        writtenBytes_ = heard * rate_ / 1000000 * channels_ * kPcmBytesPerSample;
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
        return silent_ ? silent_->writtenMicros() : PcmMicros(writtenBytes_, rate_, channels_);
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

class CardInput : public WaveInput
{
public:
    int id() const override { return source_ ? id_ : 0; }
    QString description() const override { return device_.description(); }
    QString errorString() const override { return error_; }

    int open(int maxBuffers) override
    {
        device_ = QMediaDevices::defaultAudioInput();
        if (device_.isNull())
            return fail(QStringLiteral("There is no sound input device."));
        if (!device_.isFormatSupported(CallFormat()))
            return fail(QStringLiteral("The sound input cannot record 8 kHz 16-bit mono."));
        source_ = std::make_unique<QAudioSource>(device_, CallFormat());
        // Opening happens on start: try it once so a dead device is found now.
        source_->start();
        const QAudio::Error e = source_->error();
        source_->stop();
        if (e != QAudio::NoError) {
            source_.reset();
            return fail(AudioErrorText(e));
        }
        queue_.reserve(maxBuffers);
        id_ = NextWaveDeviceId();
        return WaveOk;
    }

    int addBuffer(qint16* samples, int count, int bufferId) override
    {
        if (!source_)
            return WaveNotOpen;
        if (!samples || count <= 0)
            return WaveBadBuffer;
        return queue_.push({samples, count, 0, bufferId}) ? WaveOk : WaveQueueFull;
    }

    int start() override
    {
        if (!source_)
            return WaveNotOpen;
        if (io_)
            return WaveOk;
        io_ = source_->start();
        if (!io_ || source_->error() != QAudio::NoError) {
            io_ = nullptr;
            return fail(AudioErrorText(source_->error()));
        }
        QObject::connect(io_, &QIODevice::readyRead, this, [this] { readAvailable(); });
        return WaveOk;
    }

    int stop() override
    {
        if (!source_)
            return WaveNotOpen;
        if (io_)
            readAvailable();
        source_->stop();
        io_ = nullptr;
        return WaveOk;
    }

    void reset() override
    {
        if (source_)
            stop();
        queue_.clear();
    }

    void close() override
    {
        reset();
        source_.reset();
    }

private:
    int fail(const QString& text)
    {
        error_ = text;
        return WaveDeviceError;
    }

    void readAvailable()
    {
        while (io_) {
            WaveBufferQueue::Entry* e = queue_.front();
            qint64 got;
            if (e) {
                got = io_->read(reinterpret_cast<char*>(e->samples + e->done), qint64(e->count - e->done) * 2);
            } else {
                char discard[1024]; // nobody lent a buffer: the sound is lost
                got = io_->read(discard, sizeof discard);
            }
            if (got <= 0)
                return;
            if (e) {
                e->done += int(got / 2);
                if (e->done == e->count)
                    emit bufferFilled(queue_.pop().id);
            }
        }
    }

    QAudioDevice device_;
    std::unique_ptr<QAudioSource> source_;
    QIODevice* io_ = nullptr;
    WaveBufferQueue queue_;
    QString error_;
    int id_ = 0;
};

class CardOutput;

// What the sound card pulls its samples from: the queued buffers, in order.
class QueueReader : public QIODevice
{
public:
    explicit QueueReader(CardOutput* owner) : owner_(owner) { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    CardOutput* owner_;
};

class CardOutput : public WaveOutput
{
public:
    CardOutput() : reader_(this) { }

    int id() const override { return sink_ ? id_ : 0; }
    QString description() const override { return device_.description(); }
    QString errorString() const override { return error_; }
    int queuedBuffers() const override { return queue_.size(); }

    int open(int maxBuffers) override
    {
        device_ = QMediaDevices::defaultAudioOutput();
        if (device_.isNull())
            return fail(QStringLiteral("There is no sound output device."));
        if (!device_.isFormatSupported(CallFormat()))
            return fail(QStringLiteral("The sound output cannot play 8 kHz 16-bit mono."));
        queue_.reserve(maxBuffers);
        reader_.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_ = std::make_unique<QAudioSink>(device_, CallFormat());
        sink_->start(&reader_);
        // Without a device the sink stays stopped with an open error and says nothing.
        if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            const QString text = AudioErrorText(sink_->error());
            sink_.reset();
            reader_.close();
            return fail(text.isEmpty() ? AudioErrorText(QAudio::OpenError) : text);
        }
        id_ = NextWaveDeviceId();
        return WaveOk;
    }

    int write(const qint16* samples, int count, int bufferId) override
    {
        if (!sink_)
            return WaveNotOpen;
        if (!samples || count <= 0)
            return WaveBadBuffer;
        if (!queue_.push({const_cast<qint16*>(samples), count, 0, bufferId}))
            return WaveQueueFull;
        if (sink_->state() == QAudio::StoppedState)
            sink_->start(&reader_);
        emit reader_.readyRead();
        return WaveOk;
    }

    void reset() override
    {
        while (queue_.size() > 0)
            emit bufferDone(queue_.pop().id);
    }

    void close() override
    {
        reset();
        if (sink_)
            sink_->stop();
        sink_.reset();
        reader_.close();
    }

    qint64 queuedBytes() const
    {
        return queue_.size() ? 2 : 0; // only whether something waits matters to the sink
    }

    qint64 pull(char* data, qint64 maxSize)
    {
        qint64 copied = 0;
        while (maxSize - copied >= 2) {
            WaveBufferQueue::Entry* e = queue_.front();
            if (!e)
                break;
            const int n = int(std::min<qint64>((maxSize - copied) / 2, e->count - e->done));
            std::memcpy(data + copied, e->samples + e->done, size_t(n) * 2);
            e->done += n;
            copied += qint64(n) * 2;
            if (e->done == e->count)
                emit bufferDone(queue_.pop().id);
        }
        return copied;
    }

private:
    int fail(const QString& text)
    {
        error_ = text;
        return WaveDeviceError;
    }

    QAudioDevice device_;
    QueueReader reader_;
    std::unique_ptr<QAudioSink> sink_;
    WaveBufferQueue queue_;
    QString error_;
    int id_ = 0;
};

qint64 QueueReader::bytesAvailable() const
{
    return owner_->queuedBytes() + QIODevice::bytesAvailable();
}

qint64 QueueReader::readData(char* data, qint64 maxSize)
{
    return owner_->pull(data, maxSize);
}

const SoundCardParts kParts{
    [] { return static_cast<AudioOutput*>(new CardAudioOutput); },
    [] { return static_cast<WaveInput*>(new CardInput); },
    [] { return static_cast<WaveOutput*>(new CardOutput); },
};

} // namespace

} // namespace platform

extern "C" Q_DECL_EXPORT const platform::SoundCardParts* korvalen_sound_card()
{
    return &platform::kParts;
}
