// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "audio/ClsMemory.h"
#include "audio/GsmWave.h"

#include <QtGlobal>

namespace platform {
class WaveOutput;
}

namespace audio {

// The open output that received blocks play on, with the decoder that turns the call's
// blocks back into samples (one decoder, since the blocks form one stream).
struct GsmOutput
{
    platform::WaveOutput* device = nullptr;
    GsmDecoder decoder;
};

// One playback buffer for one received 65-byte block. Its memory is allocated once, when it
// is created, and it is handed to the output by index (its user word).
class CReceiveBuffer
{
public:
    CReceiveBuffer();
    CReceiveBuffer(const CReceiveBuffer&) = delete;
    CReceiveBuffer& operator=(const CReceiveBuffer&) = delete;

    // Makes the buffer ready for the output: 65 bytes, nothing recorded. Returns a result number.
    int Prepare();
    // Copies one block from the given address.
    void CopyData(const void* block);
    // Decodes the block and queues it on the output; the output says when it is done.
    int Add();
    int Unprepare();
    void sethWave(GsmOutput* output) { output_ = output; }
    void letDwUser(int index) { user_ = index; }
    int dwUser() const { return user_; }
    quint32 hMem() const { return block_.MemHandle(); }

    const char* data() const { return data_; }
    bool isPrepared() const { return prepared_; }
    bool isQueued() const { return queued_; }
    // The output has finished with the buffer.
    void markDone() { queued_ = false; }

private:
    ClsMemory block_;
    char* data_ = nullptr;
    qint16 samples_[kGsmBlockSamples] = {};
    GsmOutput* output_ = nullptr;
    int user_ = 0;
    bool prepared_ = false;
    bool queued_ = false;
};

} // namespace audio
