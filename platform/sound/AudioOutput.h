// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>

namespace platform {

// A place sound goes to: the sound card, a silent output that keeps real time, a WAV file, or
// (later) a telephone call. Outputs take 16-bit little-endian PCM; the writer says the format
// when it starts a stream. playedMicros() tells how much of what was written has been heard,
// so speech events can be timed by what the listener has actually heard.
class AudioOutput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~AudioOutput() override = default;

    virtual QString description() const = 0;
    // Starts a stream of the given format; false (with errorString()) when the output cannot.
    // A new stream ends the one before it and counts from zero again.
    virtual bool start(int sampleRate, int channels) = 0;
    // Queues samples (bytes of 16-bit PCM); never blocks. Returns the bytes taken.
    virtual qint64 write(const QByteArray& pcm) = 0;
    // Drops what is queued and not yet heard; afterwards written equals played.
    virtual void flush() = 0;
    // Ends the stream once what is queued has been heard.
    virtual void stop() = 0;
    // Microseconds of the current stream heard so far.
    virtual qint64 playedMicros() const = 0;
    // Microseconds written to the current stream.
    virtual qint64 writtenMicros() const = 0;
    virtual QString errorString() const { return {}; }
};

// The numbered outputs speech can go to. Number 0 is the sound card (or, without one, a
// silent output that keeps real time); the telephone line adds each call's audio under a
// number of its own.
class AudioOutputs
{
public:
    static AudioOutputs& instance();

    // One description per number from 0 up; a number given back by remove() shows "".
    QStringList descriptions() const;
    // The output with that number; nullptr when there is none.
    AudioOutput* output(int number) const;
    // Adds an output under the lowest free number (1 up) and returns it; the registry owns it.
    int add(std::unique_ptr<AudioOutput> output);
    // Destroys the output with that number; the default output (0) stays.
    void remove(int number);

private:
    AudioOutputs();
    ~AudioOutputs();
    std::map<int, std::unique_ptr<AudioOutput>> entries_;
};

// The 44-byte header of a 16-bit PCM WAV file holding dataBytes of sound.
QByteArray PcmWavHeader(int sampleRate, int channels, qint64 dataBytes);

// A WAV file output (tests, recordings, telephone prompts): each stream rewrites the file,
// takes what it is given as fast as it comes and counts it as heard at once. The header is
// completed on stop() and when the output is destroyed.
std::unique_ptr<AudioOutput> MakeWavFileOutput(const QString& path);
// A silent output that "plays" in real time: what is written is heard at the pace of a clock,
// and nothing is heard while nothing is queued.
std::unique_ptr<AudioOutput> MakeSilentOutput();
// The sound card through Qt Multimedia; a silent output when there is no device.
std::unique_ptr<AudioOutput> MakeDefaultOutput();

// An output stream of a voice bound to a numbered output and a format type (6 = 8 kHz,
// 16-bit, mono), as a voice's output is set when speech must go down a telephone line.
struct AudioOutputStream
{
    int deviceNumber = 0;
    int formatType = 6; // the speech output format numbering, 4..35
};

} // namespace platform
