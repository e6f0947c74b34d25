// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/speech/SpeechResampler.h"
#include "platform/speech/SpeechVoice.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// A stretch of a piece of speech as the engine made it: 16-bit samples at the asked rate and
// channels, and the mouth shapes with their time from the piece's start.
struct SpeechAudio
{
    QByteArray pcm;
    QList<QPair<qint64, int>> visemes; // microseconds from the piece's start, viseme
    bool cancelled = false; // the piece stopped, or was dropped, because it was cancelled
};

// One piece of text to turn into sound, with everything the engine must set first.
struct SpeechRequest
{
    QString text;
    QByteArray voiceId;
    int wordsPerMinute = 175;
    int wordGap = 0;
    int volume = 100; // the engine's amplitude
    int sampleRate = 22050;
    int channels = 1;
    bool endPause = true;
    std::shared_ptr<std::atomic_bool> cancel;
    // Both are called on the engine's thread: chunk with each stretch of sound as soon as it is
    // made, done once at the end with what the resampler still held. Without chunk, done gets
    // the whole piece.
    std::function<void(SpeechAudio)> chunk;
    std::function<void(SpeechAudio)> done;
};

// The speech engine is not re-entrant: one thread owns it for every voice of the program and
// takes pieces of text from a queue. A piece is dropped, or stops being made, once its cancel
// flag is set.
class SpeechEngine
{
public:
    static SpeechEngine& instance();
    ~SpeechEngine();

    bool available();
    // Runs work once the engine has its data and voices: at once, on this thread, when it has;
    // otherwise on the engine's thread as soon as it has them.
    void whenReady(std::function<void()> work);
    QList<VoiceInfo> voices();
    QByteArray voiceId(int index);
    void submit(SpeechRequest request);

private:
    SpeechEngine();
    void run();
    void waitReady();
    SpeechAudio synthesize(const SpeechRequest& request);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<SpeechRequest> queue_;
    bool ready_ = false;
    std::vector<std::function<void()>> whenReady_;
    bool quitting_ = false;
    std::atomic_bool abort_{false};
    SpeechResampler resampler_; // the engine's thread only
    QByteArray loadedVoice_; // the engine's thread only
    bool available_ = false;
    int engineRate_ = 22050;
    QList<VoiceInfo> voices_;
    QList<QByteArray> voiceIds_;
    std::thread thread_;
};

} // namespace platform
