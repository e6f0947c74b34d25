// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/WaveDevice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// Each open device gets a number of its own, as the call form shows the input's.
int NextDeviceId()
{
    static int next = 0;
    return ++next;
}

constexpr int kTickMs = 10;

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

} // namespace

QString WaveResultText(int result)
{
    switch (result) {
    case WaveOk: return QStringLiteral("No error.");
    case WaveDeviceError: return QStringLiteral("The sound device reported an error.");
    case WaveNotOpen: return QStringLiteral("The sound device is not open.");
    case WaveQueueFull: return QStringLiteral("Too many sound buffers are queued.");
    case WaveBadBuffer: return QStringLiteral("The sound buffer is not valid.");
    case WaveStillPlaying: return QStringLiteral("The sound buffer is still queued.");
    case WaveUnprepared: return QStringLiteral("The sound buffer was not prepared.");
    }
    return QStringLiteral("Unknown sound device error %1.").arg(result);
}

// ---- WaveBufferQueue ----

void WaveBufferQueue::reserve(int capacity)
{
    ring_.assign(std::max(capacity, 1), Entry{});
    head_ = size_ = 0;
}

bool WaveBufferQueue::push(const Entry& e)
{
    if (size_ >= int(ring_.size()))
        return false;
    ring_[(head_ + size_) % ring_.size()] = e;
    ++size_;
    return true;
}

WaveBufferQueue::Entry WaveBufferQueue::pop()
{
    Entry e = ring_[head_];
    head_ = (head_ + 1) % ring_.size();
    --size_;
    return e;
}

// ---- SilentWaveInput ----

SilentWaveInput::SilentWaveInput(WavePace pace, QObject* parent) : WaveInput(parent), pace_(pace), id_(NextDeviceId())
{
    timer_.setInterval(kTickMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SilentWaveInput::tick);
}

int SilentWaveInput::open(int maxBuffers)
{
    queue_.reserve(maxBuffers);
    open_ = true;
    recording_ = false;
    return WaveOk;
}

int SilentWaveInput::addBuffer(qint16* samples, int count, int bufferId)
{
    if (!open_)
        return WaveNotOpen;
    if (!samples || count <= 0)
        return WaveBadBuffer;
    return queue_.push({samples, count, 0, bufferId}) ? WaveOk : WaveQueueFull;
}

int SilentWaveInput::start()
{
    if (!open_)
        return WaveNotOpen;
    if (!recording_) {
        recording_ = true;
        samplesDone_ = 0;
        clock_.start();
        if (pace_ == WavePace::RealTime)
            timer_.start();
    }
    return WaveOk;
}

int SilentWaveInput::stop()
{
    if (!open_)
        return WaveNotOpen;
    recording_ = false;
    timer_.stop();
    return WaveOk;
}

void SilentWaveInput::reset()
{
    stop();
    queue_.clear();
}

void SilentWaveInput::close()
{
    reset();
    open_ = false;
}

void SilentWaveInput::tick()
{
    const qint64 due = clock_.elapsed() * kWaveSampleRate / 1000;
    const qint64 n = due - samplesDone_;
    samplesDone_ = due;
    if (n > 0)
        advance(int(std::min<qint64>(n, kWaveSampleRate)));
}

void SilentWaveInput::advance(int samples)
{
    while (recording_ && samples > 0) {
        WaveBufferQueue::Entry* e = queue_.front();
        if (!e)
            return; // no buffer lent: the sound is lost, as on a real card
        const int n = std::min(samples, e->count - e->done);
        record(e->samples + e->done, n);
        e->done += n;
        samples -= n;
        if (e->done == e->count)
            emit bufferFilled(queue_.pop().id); // the receiver may queue it again at once
    }
}

void SilentWaveInput::record(qint16* samples, int n)
{
    std::memset(samples, 0, size_t(n) * sizeof(qint16));
}

// ---- SilentWaveOutput ----

SilentWaveOutput::SilentWaveOutput(WavePace pace, QObject* parent)
    : WaveOutput(parent), pace_(pace), id_(NextDeviceId())
{
    timer_.setInterval(kTickMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SilentWaveOutput::tick);
}

int SilentWaveOutput::open(int maxBuffers)
{
    queue_.reserve(maxBuffers);
    open_ = true;
    played_ = 0;
    captured_.clear();
    return WaveOk;
}

int SilentWaveOutput::write(const qint16* samples, int count, int bufferId)
{
    if (!open_)
        return WaveNotOpen;
    if (!samples || count <= 0)
        return WaveBadBuffer;
    if (!queue_.push({const_cast<qint16*>(samples), count, 0, bufferId}))
        return WaveQueueFull;
    if (pace_ == WavePace::RealTime && !timer_.isActive()) {
        // The clock starts with the first sample after a pause.
        clock_.start();
        clockPlayed_ = 0;
        timer_.start();
    }
    return WaveOk;
}

void SilentWaveOutput::reset()
{
    timer_.stop();
    while (queue_.size() > 0)
        emit bufferDone(queue_.pop().id);
}

void SilentWaveOutput::close()
{
    reset();
    open_ = false;
}

void SilentWaveOutput::tick()
{
    const qint64 due = clock_.elapsed() * kWaveSampleRate / 1000;
    const qint64 n = due - clockPlayed_;
    if (n > 0) {
        clockPlayed_ = due;
        advance(int(std::min<qint64>(n, kWaveSampleRate)));
    }
    if (queue_.size() == 0)
        timer_.stop();
}

void SilentWaveOutput::advance(int samples)
{
    while (samples > 0) {
        WaveBufferQueue::Entry* e = queue_.front();
        if (!e)
            return;
        const int n = std::min(samples, e->count - e->done);
        if (capture_)
            captured_.insert(captured_.end(), e->samples + e->done, e->samples + e->done + n);
        e->done += n;
        played_ += n;
        samples -= n;
        if (e->done == e->count)
            emit bufferDone(queue_.pop().id);
    }
}

// ---- The sound card ----

namespace {

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
        id_ = NextDeviceId();
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
        id_ = NextDeviceId();
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

// The sound card when it opens, otherwise a silent device; the choice is made on open.
class DefaultInput : public WaveInput
{
public:
    int id() const override { return impl_ ? impl_->id() : 0; }
    QString description() const override { return impl_ ? impl_->description() : QString(); }
    QString errorString() const override { return impl_ ? impl_->errorString() : QString(); }

    int open(int maxBuffers) override
    {
        auto card = std::make_unique<CardInput>();
        if (card->open(maxBuffers) == WaveOk) {
            impl_ = std::move(card);
        } else {
            impl_ = std::make_unique<SilentWaveInput>();
            impl_->open(maxBuffers);
        }
        connect(impl_.get(), &WaveInput::bufferFilled, this, &WaveInput::bufferFilled);
        return WaveOk;
    }
    int addBuffer(qint16* s, int n, int bufferId) override
    {
        return impl_ ? impl_->addBuffer(s, n, bufferId) : WaveNotOpen;
    }
    int start() override { return impl_ ? impl_->start() : WaveNotOpen; }
    int stop() override { return impl_ ? impl_->stop() : WaveNotOpen; }
    void reset() override
    {
        if (impl_)
            impl_->reset();
    }
    void close() override
    {
        if (impl_)
            impl_->close();
        impl_.reset();
    }

private:
    std::unique_ptr<WaveInput> impl_;
};

class DefaultOutput : public WaveOutput
{
public:
    int id() const override { return impl_ ? impl_->id() : 0; }
    QString description() const override { return impl_ ? impl_->description() : QString(); }
    QString errorString() const override { return impl_ ? impl_->errorString() : QString(); }
    int queuedBuffers() const override { return impl_ ? impl_->queuedBuffers() : 0; }

    int open(int maxBuffers) override
    {
        auto card = std::make_unique<CardOutput>();
        if (card->open(maxBuffers) == WaveOk) {
            impl_ = std::move(card);
        } else {
            impl_ = std::make_unique<SilentWaveOutput>();
            impl_->open(maxBuffers);
        }
        connect(impl_.get(), &WaveOutput::bufferDone, this, &WaveOutput::bufferDone);
        return WaveOk;
    }
    int write(const qint16* s, int n, int bufferId) override
    {
        return impl_ ? impl_->write(s, n, bufferId) : WaveNotOpen;
    }
    void reset() override
    {
        if (impl_)
            impl_->reset();
    }
    void close() override
    {
        if (impl_)
            impl_->close();
        impl_.reset();
    }

private:
    std::unique_ptr<WaveOutput> impl_;
};

} // namespace

std::unique_ptr<WaveInput> MakeDefaultWaveInput()
{
    return std::make_unique<DefaultInput>();
}

std::unique_ptr<WaveOutput> MakeDefaultWaveOutput()
{
    return std::make_unique<DefaultOutput>();
}

} // namespace platform
