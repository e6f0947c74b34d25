// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <cstddef>

struct soxr; // the resampling library's handle

namespace platform {

// Brings the engine's mono samples to an output's rate and channels as they are made: each
// push gives back what can be heard so far, finish() the rest the filter still holds. High
// quality, so the telephone band stays whole; silence stays silent (no dither).
class SpeechResampler
{
public:
    SpeechResampler() = default;
    ~SpeechResampler();
    SpeechResampler(const SpeechResampler&) = delete;
    SpeechResampler& operator=(const SpeechResampler&) = delete;

    // Starts a new stream; the filter is kept between streams of the same rates.
    void begin(int inRate, int outRate, int channels);
    // 16-bit PCM at the output's rate and channels.
    QByteArray push(const short* samples, size_t count);
    QByteArray finish();

private:
    QByteArray process(const short* samples, size_t count);
    QByteArray widen(const short* mono, size_t count) const;

    ::soxr* soxr_ = nullptr;
    int inRate_ = 0, outRate_ = 0, channels_ = 1;
    bool failed_ = false;
};

} // namespace platform
