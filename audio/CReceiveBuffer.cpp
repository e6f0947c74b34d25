// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/CReceiveBuffer.h"

#include "platform/sound/WaveDevice.h"

#include <cstring>

namespace audio {

CReceiveBuffer::CReceiveBuffer()
{
    block_.GAlloc(kGsmBlockBytes);
    data_ = block_.GLock();
}

int CReceiveBuffer::Prepare()
{
    if (!output_ || !output_->device)
        return platform::WaveNotOpen;
    if (queued_)
        return platform::WaveStillPlaying;
    prepared_ = true;
    return platform::WaveOk;
}

void CReceiveBuffer::CopyData(const void* block)
{
    if (data_ && block)
        std::memcpy(data_, block, kGsmBlockBytes);
}

int CReceiveBuffer::Add()
{
    if (!output_ || !output_->device)
        return platform::WaveNotOpen;
    if (!prepared_)
        return platform::WaveUnprepared;
    if (queued_)
        return platform::WaveStillPlaying;
    output_->decoder.decodeBlock(reinterpret_cast<const quint8*>(data_), samples_);
    const int r = output_->device->write(samples_, kGsmBlockSamples, user_);
    queued_ = r == platform::WaveOk;
    return r;
}

int CReceiveBuffer::Unprepare()
{
    if (queued_)
        return platform::WaveStillPlaying;
    prepared_ = false;
    return platform::WaveOk;
}

} // namespace audio
