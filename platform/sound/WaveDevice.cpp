// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/WaveDevice.h"

#include "platform/sound/SoundCard.h"

#include <algorithm>

namespace platform {

int NextWaveDeviceId()
{
    static int next = 0;
    return ++next;
}

constexpr int kTickMs = 10;

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

SilentWaveInput::SilentWaveInput(WavePace pace, QObject* parent)
    : WaveInput(parent), pace_(pace), id_(NextWaveDeviceId())
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
    : WaveOutput(parent), pace_(pace), id_(NextWaveDeviceId())
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

namespace {

// The sound card when it opens, otherwise a silent device; the choice is made on open.
class DefaultInput : public WaveInput
{
public:
    int id() const override { return impl_ ? impl_->id() : 0; }
    QString description() const override { return impl_ ? impl_->description() : QString(); }
    QString errorString() const override { return impl_ ? impl_->errorString() : QString(); }

    int open(int maxBuffers) override
    {
        std::unique_ptr<WaveInput> card(SoundCard() ? SoundCard()->newWaveInput() : nullptr);
        if (card && card->open(maxBuffers) == WaveOk) {
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
        std::unique_ptr<WaveOutput> card(SoundCard() ? SoundCard()->newWaveOutput() : nullptr);
        if (card && card->open(maxBuffers) == WaveOk) {
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
