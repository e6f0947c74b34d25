// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// The internet call's sound card side: an input and an output at 8 kHz, 16-bit, mono. The
// caller lends sample buffers; the device fills (input) or plays (output) them in the order
// they were queued and says so with a signal carrying the buffer's id. A buffer belongs to
// the device from the moment it is queued until its signal arrives (or reset() returns it),
// so nothing is allocated or copied while sound flows.

constexpr int kWaveSampleRate = 8000;

// Result numbers of the device operations; 0 is success.
enum WaveResult : int {
    WaveOk = 0,
    WaveDeviceError = 1, // the sound system refused (see errorString())
    WaveNotOpen = 2,
    WaveQueueFull = 3,
    WaveBadBuffer = 4,
    WaveStillPlaying = 5, // the buffer is still queued on the device
    WaveUnprepared = 6, // the buffer was not made ready before being queued
};
QString WaveResultText(int result);

class WaveInput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~WaveInput() override = default;

    // A number naming this device while it is open; 0 when closed.
    virtual int id() const = 0;
    virtual QString description() const = 0;
    // Opens the device; at most maxBuffers buffers may be queued at once.
    virtual int open(int maxBuffers) = 0;
    virtual int addBuffer(qint16* samples, int count, int bufferId) = 0;
    virtual int start() = 0;
    // Pauses recording; queued buffers stay queued.
    virtual int stop() = 0;
    // Stops and hands every queued buffer back without a signal.
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual QString errorString() const = 0;

signals:
    // The buffer is full of recorded sound.
    void bufferFilled(int bufferId);
};

class WaveOutput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~WaveOutput() override = default;

    virtual int id() const = 0;
    virtual QString description() const = 0;
    virtual int open(int maxBuffers) = 0;
    // Queues samples to be played after what is already queued.
    virtual int write(const qint16* samples, int count, int bufferId) = 0;
    // Drops what is queued; every dropped buffer still gets its bufferDone.
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual int queuedBuffers() const = 0;
    virtual QString errorString() const = 0;

signals:
    // The buffer has been played (or dropped by reset()) and belongs to the caller again.
    void bufferDone(int bufferId);
};

// A fixed-size queue of lent buffers, allocated when the device opens.
class WaveBufferQueue
{
public:
    struct Entry
    {
        qint16* samples = nullptr;
        int count = 0;
        int done = 0; // samples filled or played so far
        int id = 0;
    };
    void reserve(int capacity);
    bool push(const Entry& e);
    Entry* front() { return size_ ? &ring_[head_] : nullptr; }
    Entry pop();
    int size() const { return size_; }
    void clear() { head_ = size_ = 0; }

private:
    std::vector<Entry> ring_;
    int head_ = 0;
    int size_ = 0;
};

// How a silent device keeps time: on its own timer at real time, or only when advance() is
// called (tests move it by hand, so nothing depends on the machine's speed).
enum class WavePace { RealTime, Manual };

// Records silence at real time: with no sound card the call still sends blocks.
class SilentWaveInput : public WaveInput
{
    Q_OBJECT
public:
    explicit SilentWaveInput(WavePace pace = WavePace::RealTime, QObject* parent = nullptr);
    int id() const override { return open_ ? id_ : 0; }
    QString description() const override { return QStringLiteral("Silent input"); }
    int open(int maxBuffers) override;
    int addBuffer(qint16* samples, int count, int bufferId) override;
    int start() override;
    int stop() override;
    void reset() override;
    void close() override;
    QString errorString() const override { return {}; }

    bool isRecording() const { return recording_; }
    // Records that many samples of silence now (only while recording).
    void advance(int samples);

protected:
    // What is recorded into the next n samples; silence here.
    virtual void record(qint16* samples, int n);

private:
    void tick();

    WavePace pace_;
    int id_;
    bool open_ = false;
    bool recording_ = false;
    WaveBufferQueue queue_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 samplesDone_ = 0;
};

// Plays into nowhere at real time: with no sound card the call still gets its buffers back.
class SilentWaveOutput : public WaveOutput
{
    Q_OBJECT
public:
    explicit SilentWaveOutput(WavePace pace = WavePace::RealTime, QObject* parent = nullptr);
    int id() const override { return open_ ? id_ : 0; }
    QString description() const override { return QStringLiteral("Silent output"); }
    int open(int maxBuffers) override;
    int write(const qint16* samples, int count, int bufferId) override;
    void reset() override;
    void close() override;
    int queuedBuffers() const override { return queue_.size(); }
    QString errorString() const override { return {}; }

    // Plays that many queued samples now.
    void advance(int samples);
    // Samples played since opening, and, when capture is on, the samples themselves.
    qint64 playedSamples() const { return played_; }
    void setCapture(bool on) { capture_ = on; }
    const std::vector<qint16>& captured() const { return captured_; }

private:
    void tick();

    WavePace pace_;
    int id_;
    bool open_ = false;
    WaveBufferQueue queue_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 played_ = 0;
    qint64 clockPlayed_ = 0; // samples played since the clock last started
    bool capture_ = false;
    std::vector<qint16> captured_;
};

// The sound card through Qt Multimedia; when the machine has no sound device (or opening it
// fails) the device quietly becomes a silent one that keeps real time.
std::unique_ptr<WaveInput> MakeDefaultWaveInput();
std::unique_ptr<WaveOutput> MakeDefaultWaveOutput();

} // namespace platform
