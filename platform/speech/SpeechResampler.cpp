// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/SpeechResampler.h"

#include <soxr.h>

#include <algorithm>
#include <vector>

namespace platform {

SpeechResampler::~SpeechResampler()
{
    if (soxr_)
        soxr_delete(soxr_);
}

void SpeechResampler::begin(int inRate, int outRate, int channels)
{
    channels_ = channels;
    failed_ = false;
    if (soxr_ && inRate == inRate_ && outRate == outRate_) {
        soxr_clear(soxr_);
        return;
    }
    if (soxr_)
        soxr_delete(soxr_);
    soxr_ = nullptr;
    inRate_ = inRate;
    outRate_ = outRate;
    if (inRate == outRate)
        return;
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER; // silence stays silent
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1); // one thread: the engine's own
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(inRate, outRate, 1, &error, &io, &quality, &runtime);
    if (error) {
        soxr_ = nullptr;
        failed_ = true;
    }
}

QByteArray SpeechResampler::push(const short* samples, size_t count)
{
    if (!samples || count == 0)
        return {};
    return soxr_ ? process(samples, count) : failed_ ? QByteArray() : widen(samples, count);
}

QByteArray SpeechResampler::finish()
{
    return soxr_ ? process(nullptr, 0) : QByteArray();
}

// Feeds all of the input (none: the end of the stream) and takes all the output it gives.
QByteArray SpeechResampler::process(const short* samples, size_t count)
{
    constexpr size_t kBlock = 2048; // input per call: the library's buffers stay small
    std::vector<short> out;
    size_t used = 0;
    for (int round = 0; round < 100000; ++round) { // bounded: each round takes input or drains
        const size_t give = std::min(kBlock, count - used);
        const size_t room = size_t(double(give) * outRate_ / inRate_) + 256;
        const size_t had = out.size();
        out.resize(had + room);
        size_t took = 0, made = 0;
        if (soxr_process(soxr_, samples ? samples + used : nullptr, give, &took, out.data() + had, room, &made)) {
            out.resize(had);
            break;
        }
        out.resize(had + made);
        used += took;
        // input all taken and the output not full: nothing more comes from this call
        if (used >= count && made < room)
            break;
    }
    return widen(out.data(), out.size());
}

QByteArray SpeechResampler::widen(const short* mono, size_t count) const
{
    QByteArray pcm(qsizetype(count * sizeof(short) * size_t(channels_)), Qt::Uninitialized);
    short* out = reinterpret_cast<short*>(pcm.data());
    for (size_t i = 0; i < count; ++i)
        for (int c = 0; c < channels_; ++c)
            *out++ = mono[i];
    return pcm;
}

} // namespace platform
